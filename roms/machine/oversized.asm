; An image that holds more than its footer says: twelve 64 KB banks, a footer
; for eight. Home-made images do this, and their code runs in the banks the
; footer leaves out, so the loader must map every whole bank the file holds:
; the last one is ROM bank 0xFF, the first here 0xF4.
;
; The start code (bank 0xFF) maps ROM bank 0xF5 at segment 0x2000 through
; port 0xC2 and calls into it; that code reads ROM bank 0xF4, which port
; 0xC0 (low nibble 0xF) maps at segment 0x4000, and paints a checkerboard of
; black and white 8 x 8 cells from the tiles there. Internal RAM then holds:
;   0x0100  "OV"    the start code ran
;   0x0102  0xB0F5  the marker of the bank the far code ran in, read via CS
;   0x0104  0xB0F4  the marker of bank 0xF4, read at segment 0x4000
;   0x0106  "OK"    the far code painted the picture and returned
;   0x0108  0x2000  the code segment the far code saw
; Banks 0xF6-0xFE are padding. Every bank carries 0xB000 + its number at
; MARKER.
        bits 16
        cpu 186
%include "cart.inc"
%include "ws.inc"

BANKS           equ 12                  ; in the file; the footer says 8
FIRST_BANK      equ 0x100 - BANKS       ; 0xF4
MARKER          equ 0xE000
STARTED         equ 0x0100
FAR_BANK_SEEN   equ 0x0102
TILE_BANK_SEEN  equ 0x0104
PAINTED         equ 0x0106
FAR_CS          equ 0x0108
MAP             equ 0x0800              ; screen 1
TILES           equ 0x2000

; Bank 0xF4 at segment 0x4000: the tiles, from its start. 0 is white
; (colour 0), 1 black (colour 3), 2 bit planes a row.
        CARTRIDGE_BANK 0
tiles:
        times 8 db 0x00, 0x00
        times 8 db 0xFF, 0xFF
tiles_end:
        times MARKER - ($ - $$) db 0xFF
        dw 0xB000 + FIRST_BANK
        CARTRIDGE_BANK_END

; Bank 0xF5 at segment 0x2000: the code that paints, and the map.
        CARTRIDGE_BANK 1
paint:
        mov [FAR_CS], cs
        mov ax, [cs:MARKER]
        mov [FAR_BANK_SEEN], ax
        push ds
        push word 0x4000
        pop ds
        mov bx, [MARKER]
        xor si, si                      ; the tiles start bank 0xF4
        mov di, TILES
        mov cx, tiles_end - tiles
        rep movsb
        push cs
        pop ds
        mov si, map - $$
        mov di, MAP
        mov cx, 32 * 32 * 2
        rep movsb
        mov si, video_ports - $$
.port:  lodsb
        cmp al, 0xFF
        je .done
        mov dl, al
        xor dh, dh
        lodsb
        out dx, al
        jmp .port
.done:  pop ds
        mov [TILE_BANK_SEEN], bx
        mov word [PAINTED], 0x4B4F      ; "OK"
        retf

video_ports:
        db PORT_VIDEO_MODE, 0x00                ; monochrome, 2 bits planar
        db PORT_SHADE_SELECT + 0, 0x00          ; shade 0: level 0
        db PORT_SHADE_SELECT + 3, 0xF0          ; shade 7: level 15
        db PORT_MONO_PALETTE + 0, 0x00          ; palette 0: colour 0 shade 0,
        db PORT_MONO_PALETTE + 1, 0x70          ;            colour 3 shade 7
        db PORT_BACK_COLOR, 0
        db PORT_MAP_BASE, MAP >> 11
        db PORT_DISPLAY_CTRL, 0x01              ; screen 1
        db 0xFF

map:
%assign row 0
%rep 32
  %assign col 0
  %rep 32
        dw (row + col) & 1
    %assign col col + 1
  %endrep
  %assign row row + 1
%endrep

        times MARKER - ($ - $$) db 0xFF
        dw 0xB000 + FIRST_BANK + 1
        CARTRIDGE_BANK_END

%assign k 2
%rep BANKS - 3
        CARTRIDGE_BANK k
        times MARKER - ($ - $$) db 0xFF
        dw 0xB000 + FIRST_BANK + k
        CARTRIDGE_BANK_END
  %assign k k + 1
%endrep

; Bank 0xFF at segment 0xF000: the start code.
        CARTRIDGE_BANK BANKS - 1
start:
        cli
        cld
        xor ax, ax
        mov ds, ax
        mov es, ax
        mov ss, ax
        mov sp, 0x2000
        mov word [STARTED], 0x564F      ; "OV"
        mov al, 0x0F                    ; 0xF4-0xFF at 0x4000-0xF000, as at reset
        out PORT_BANK_LINEAR, al
        mov al, FIRST_BANK + 1
        out PORT_BANK_ROM0, al
        call 0x2000:paint
.idle:  hlt
        jmp .idle

        times MARKER - ($ - $$) db 0xFF
        dw 0xB000 + FIRST_BANK + BANKS - 1
        CARTRIDGE_FOOTER 0xF000, start - $$, 0x00, 0, 0x41, 0, 1, 0x00, 0
