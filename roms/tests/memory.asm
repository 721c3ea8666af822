; Bank switching, general DMA and battery RAM, on a 2 MB image (32 banks) with
; 8 KB of SRAM. The assembled file holds the last 28 banks, ROM banks 0xE4 to
; 0xFF (kestra-mkcart pads the four in front); every bank carries its number
; at offset 0 (byte) and at 0xE000 (word 0xB000 + number).
;
; - Ports 0xC2 and 0xC3 map any ROM bank at segments 0x2000 and 0x3000;
;   bank numbers beyond the image read 0xFF.
; - Port 0xC0 maps ROM banks (value & 0x0F) * 16 + 4 ... + 15 at segments
;   0x4000-0xF000; while CS is 0x4000 or more, the instruction after the OUT
;   still runs from the old mapping (every data bank has a far jump to a
;   "wrong path" at the place it would be fetched from).
; - Port 0xC1 maps SRAM bank 0 only; other values leave bank 1 alone.
; - General DMA copies at once, from ROM into the colour RAM at 0xFE00,
;   across the end of a bank on either side, and updates its ports.
; - SRAM: tests/suite writes memory.sav before the run with bytes 0x30-0x3F
;   at offsets 0x100-0x10F; the cartridge reads them, and leaves a pattern
;   the test reads back from memory.sav after the run: offset 0 = 0xD4 (from
;   the DMA), 0x200 + i = i ^ 0x5A for i = 0-255, 0x1FFF = 0xA5.
        bits 16
        cpu 186
%include "suite.inc"

BANKS           equ 28                  ; assembled; the image has 32
FIRST_BANK      equ 0x100 - BANKS       ; ROM bank of the first one: 0xE4
MARKER          equ 0xE000
SWITCH_AT       equ 0xD000              ; OUT 0xC0 in the code bank
IRAM_CODE       equ 0x3800              ; routines copied to internal RAM
WRONG_PATH      equ IRAM_CODE + 0x100
SRAM            equ 0x1000              ; bank 1 segment

%assign k 0
%rep BANKS - 1
        CARTRIDGE_BANK k
        db FIRST_BANK + k
        times SWITCH_AT + 2 - ($ - $$) db 0xFF
        jmp 0x0000:WRONG_PATH           ; fetched here: the OUT switched too soon
        times MARKER - ($ - $$) db 0xFF
        dw 0xB000 + FIRST_BANK + k
        CARTRIDGE_BANK_END
  %assign k k + 1
%endrep

        CARTRIDGE_BANK BANKS - 1        ; ROM bank 0xFF: the code
start:
        SUITE_START
        call copy_to_iram
        call rom_banks
        call linear_banks
        call switch_from_rom
        call sram
        call dma
        SUITE_DONE

copy_to_iram:
        mov si, iram_routines
        mov di, IRAM_CODE
        mov cx, iram_routines_end - iram_routines
        cs rep movsb
        mov si, wrong_path
        mov di, WRONG_PATH
        mov cx, wrong_path_end - wrong_path
        cs rep movsb
        mov si, right_path
        mov di, RIGHT_PATH
        mov cx, right_path_end - right_path
        cs rep movsb
        ret

rom_banks:
        mov al, FIRST_BANK + 1
        out PORT_BANK_ROM0, al
        READ_FAR 0x2000, MARKER
        CHECK "port 0xC2 maps ROM bank 0xE5", ax, 0xB0E5
        READ_FAR 0x2000, 0
        CHECK_MASKED "port 0xC2 bank 0xE5 from its start", ax, 0xE5, 0x00FF
        in al, PORT_BANK_ROM0
        mov ah, 0
        CHECK "port 0xC2 reads back", ax, 0xE5

        push ds
        push word 0x2000
        pop ds
        mov word [0x0100], 0x1234       ; ROM: ignored
        pop ds
        READ_FAR 0x2000, 0x0100
        CHECK "ROM writes are ignored", ax, 0xFFFF

        mov al, 0xFF
        out PORT_BANK_ROM0, al
        READ_FAR 0x2000, MARKER
        CHECK "port 0xC2 maps the code bank 0xFF", ax, 0xB0FF

        mov al, 0x10                    ; beyond the image
        out PORT_BANK_ROM0, al
        READ_FAR 0x2000, MARKER
        CHECK "port 0xC2 beyond the image reads 0xFF", ax, 0xFFFF

        mov al, 0xF3
        out PORT_BANK_ROM1, al
        READ_FAR 0x3000, MARKER
        CHECK "port 0xC3 maps ROM bank 0xF3", ax, 0xB0F3
        mov al, FIRST_BANK
        out PORT_BANK_ROM1, al
        READ_FAR 0x3000, MARKER
        CHECK "port 0xC3 maps the first bank 0xE4", ax, 0xB0E4
        ret

linear_banks:
        READ_FAR 0x4000, MARKER
        CHECK "segment 0x4000 is ROM bank 0xF4 after reset", ax, 0xB0F4
        READ_FAR 0xE000, MARKER
        CHECK "segment 0xE000 is ROM bank 0xFE after reset", ax, 0xB0FE

        mov al, 0x0E
        call 0x0000:IRAM_CODE           ; switches from internal RAM
        CHECK "port 0xC0 0x0E: segment 0x4000 is bank 0xE4", cx, 0xB0E4
        CHECK "port 0xC0 0x0E: segment 0xF000 is bank 0xEF", bx, 0xB0EF
        mov al, 0x1E
        call 0x0000:IRAM_CODE
        CHECK "port 0xC0 uses the low nibble", cx, 0xB0E4
        CHECK "port 0xC0 reads back", dx, 0x1E
        READ_FAR 0x4000, MARKER
        CHECK "port 0xC0 0x0F again: bank 0xF4", ax, 0xB0F4
        ret

; From the code bank: the far jump after the OUT still comes from bank 0xFF.
switch_from_rom:
        mov word [WRONG_PATH_TAKEN], 0
        mov al, 0x0E
        jmp SWITCH_AT
.back:
        CHECK "the instruction after OUT 0xC0 runs from the old bank", word [WRONG_PATH_TAKEN], 0
        CHECK "after it the new bank is mapped", word [SWITCH_SEEN], 0xB0EF
        ret

sram:
        push ds
        push word SRAM
        pop ds
        mov ax, [0x0100]
        mov bx, [0x010E]
        pop ds
        CHECK "SRAM loaded from the save file", ax, 0x3130
        CHECK "SRAM loaded from the save file, last seeded word", bx, 0x3F3E

        push es
        push word SRAM
        pop es
        mov di, 0x0200
        mov cx, 256
        mov al, 0
.pattern:
        mov ah, al
        xor ah, 0x5A
        mov [es:di], ah
        inc di
        inc al
        loop .pattern
        mov byte [es:0x1FFF], 0xA5
        mov byte [es:0x2000], 0x77      ; in the page, not in the 8 KB saved
        mov ax, [es:0x0200]
        mov bx, [es:0x02FE]
        mov cx, [es:0x1FFF]
        pop es
        CHECK "SRAM keeps what is written", ax, 0x5B5A
        CHECK "SRAM keeps what is written at 0x2FE", bx, 0xA5A4
        CHECK "SRAM keeps what is written at 0x1FFF", cx, 0x77A5

        mov al, 1                       ; not below the one save bank
        out PORT_BANK_SRAM, al
        in al, PORT_BANK_SRAM
        mov ah, 0
        CHECK "port 0xC1 reads back 1", ax, 1
        READ_FAR SRAM, 0x0200
        CHECK "port 0xC1 1 leaves SRAM mapped", ax, 0x5B5A
        mov al, 0
        out PORT_BANK_SRAM, al
        ret

%macro DMA 3                            ; source (linear), destination, length
        mov ax, (%1) & 0xFFFF
        out PORT_DMA_SOURCE, ax
        mov al, (%1) >> 16
        out PORT_DMA_SOURCE + 2, al
        mov ax, %2
        out PORT_DMA_DEST, ax
        mov ax, %3
        out PORT_DMA_LENGTH, ax
        mov al, 0x80
        out PORT_DMA_CTRL, al
%endmacro

dma:
        mov al, 0x55
        out PORT_DMA_SOURCE + 3, al     ; 0x43: set by the copy
        DMA 0xF0000 + (palette - $$), IRAM_PALETTE, 32
        CHECK "DMA into the colour RAM, first word", word [IRAM_PALETTE], 0x0FFF
        CHECK "DMA into the colour RAM, last word", word [IRAM_PALETTE + 30], 0x0123
        in al, PORT_DMA_CTRL
        mov ah, 0
        CHECK "DMA clears its start bit", ax, 0
        in ax, PORT_DMA_SOURCE
        CHECK "DMA source after the copy", ax, palette + 32
        in al, PORT_DMA_SOURCE + 2
        mov ah, 0
        CHECK "DMA source bank after the copy", ax, 0x0F
        in ax, PORT_DMA_DEST
        CHECK "DMA destination after the copy", ax, IRAM_PALETTE + 32
        in al, PORT_DMA_SOURCE + 3
        mov ah, 0
        CHECK "DMA destination bits 16-23 after the copy", ax, 0
        in ax, PORT_DMA_LENGTH
        CHECK "DMA length after the copy", ax, 0

        mov word [SUITE_SCRATCH], 0x4444
        mov al, 0x55
        out PORT_DMA_SOURCE + 3, al
        DMA 0xF0000 + (palette - $$), SUITE_SCRATCH, 0
        CHECK "DMA of length 0 copies nothing", word [SUITE_SCRATCH], 0x4444
        in ax, PORT_DMA_DEST
        CHECK "DMA of length 0 leaves the destination", ax, SUITE_SCRATCH
        in ax, PORT_DMA_SOURCE
        CHECK "DMA of length 0 leaves the source", ax, palette
        in al, PORT_DMA_SOURCE + 3
        mov ah, 0
        CHECK "DMA of length 0 clears port 0x43", ax, 0

        ; source 0x1FFFF: SRAM offset 0xFFFF, then bank 2 offset 0
        push ds
        push word SRAM
        pop ds
        mov byte [0xFFFF], 0x66
        pop ds
        mov al, 0xE6
        out PORT_BANK_ROM0, al
        DMA 0x1FFFF, SUITE_SCRATCH, 2
        CHECK "DMA source crosses from bank 1 into bank 2", word [SUITE_SCRATCH], 0xE666
        in al, PORT_DMA_SOURCE + 2
        mov ah, 0
        CHECK "DMA source bank after the crossing", ax, 0x02

        ; destination 0xFFFF: internal RAM, then SRAM offset 0
        DMA 0xF0000 + (crossing - $$), 0xFFFF, 2
        CHECK_MASKED "DMA destination 0xFFFF", word [0xFFFE], 0xC300, 0xFF00
        READ_FAR SRAM, 0
        CHECK_MASKED "DMA destination continues in bank 1", ax, 0x00D4, 0x00FF
        in al, PORT_DMA_SOURCE + 3
        mov ah, 0
        CHECK "DMA destination bits 16-23 after the crossing", ax, 1
        ret

palette:
        dw 0x0FFF, 0x0EEE, 0x0DDD, 0x0CCC, 0x0BBB, 0x0AAA, 0x0999, 0x0888
        dw 0x0777, 0x0666, 0x0555, 0x0444, 0x0333, 0x0222, 0x0111, 0x0123
crossing:
        db 0xC3, 0xD4

WRONG_PATH_TAKEN equ SUITE_SCRATCH + 0x10
SWITCH_SEEN      equ SUITE_SCRATCH + 0x12

; Copied to IRAM_CODE and called far with AL for port 0xC0: CX = the marker
; of segment 0x4000, BX that of segment 0xF000, DX = port 0xC0 read back;
; port 0xC0 is 0x0F again on return. No jumps, so it runs anywhere.
iram_routines:
        out PORT_BANK_LINEAR, al
        in al, PORT_BANK_LINEAR
        mov dl, al
        mov dh, 0
        push ds
        push word 0x4000
        pop ds
        mov cx, [MARKER]
        push word 0xF000
        pop ds
        mov bx, [MARKER]
        pop ds
        mov al, 0x0F
        out PORT_BANK_LINEAR, al
        retf
iram_routines_end:

; Copied to WRONG_PATH: reached only through the jumps in the data banks.
wrong_path:
        mov word [WRONG_PATH_TAKEN], 1
        mov al, 0x0F
        out PORT_BANK_LINEAR, al
        jmp 0xF000:switch_from_rom.back
wrong_path_end:

; Copied to RIGHT_PATH: where the far jump after the OUT, fetched from bank
; 0xFF, leads.
right_path:
        push ds
        push word 0xF000
        pop ds
        mov ax, [MARKER]
        pop ds
        mov [SWITCH_SEEN], ax
        mov al, 0x0F
        out PORT_BANK_LINEAR, al
        jmp 0xF000:switch_from_rom.back
right_path_end:

        SUITE_TABLES

        times SWITCH_AT - ($ - $$) db 0xFF
        out PORT_BANK_LINEAR, al
        jmp 0x0000:RIGHT_PATH
        times MARKER - ($ - $$) db 0xFF
        dw 0xB0FF

RIGHT_PATH      equ WRONG_PATH + 0x40

        CARTRIDGE_FOOTER 0xF000, start, 0x00, 0, 0x00, 0, 4, 0x01, 0
