; The cartridge's serial EEPROM (1 Kbit: 64 words) through ports 0xC4-0xC8:
; read, write, erase, fill and erase-all commands, write enable and disable,
; commands with a start bit below 4, wider commands that reach beyond the 64
; words, the control port's read-back, the store mapped into bank 1 by port
; 0xC1, and the internal EEPROM (ports 0xBA-0xBE) that has no storage.
;
; tests/suite writes eeprom.sav before the run with word i = 0xA000 + i and
; reads it back after: every word 0xFFFF except 5 = 0x1234, 8 = 0xBEEF and
; 63 = 0x6363.
        bits 16
        cpu 186
%include "suite.inc"

; Commands of the 1-Kbit part: start bit 8, operation in bits 7-6, address
; in bits 5-0 (for operation 0 bits 5-4 say which).
DISABLE         equ 0x0100
FILL            equ 0x0110
ERASE_ALL       equ 0x0120
ENABLE          equ 0x0130
WRITE           equ 0x0140              ; | address
READ            equ 0x0180
ERASE           equ 0x01C0
SRAM            equ 0x1000              ; bank 1 segment

; EEPROM command [, data word]: runs it; AX = the data ports afterwards.
%macro EEPROM 1-2
  %if %0 > 1
        mov ax, %2
        out PORT_EEP_DATA, ax
  %endif
        mov ax, %1
        out PORT_EEP_CMD, ax
        mov al, 0x10
        out PORT_EEP_CTRL, al
        in ax, PORT_EEP_DATA
%endmacro

%macro READ_WORD 1                      ; AX = word %1
        EEPROM READ | (%1)
%endmacro

        org 0
start:
        SUITE_START
        call reads
        call enable_and_write
        call control_port
        call bank_one
        call refused
        call internal_eeprom
        SUITE_DONE

reads:
        READ_WORD 0
        CHECK "word 0 comes from the save file", ax, 0xA000
        READ_WORD 5
        CHECK "word 5 comes from the save file", ax, 0xA005
        READ_WORD 63
        CHECK "word 63 comes from the save file", ax, 0xA03F
        in ax, PORT_EEP_DATA
        CHECK "a read leaves the word in the data ports", ax, 0xA03F

        EEPROM WRITE | 5, 0x1234
        CHECK "a write clears the data ports", ax, 0
        READ_WORD 5
        CHECK "no write before the enable command", ax, 0xA005
        ret

enable_and_write:
        EEPROM ENABLE, 0x5555
        CHECK "the enable command clears the data ports", ax, 0
        EEPROM FILL, 0x4242
        READ_WORD 0
        CHECK "fill reaches word 0", ax, 0x4242
        READ_WORD 63
        CHECK "fill reaches word 63", ax, 0x4242
        EEPROM ERASE_ALL
        READ_WORD 17
        CHECK "erase all", ax, 0xFFFF

        EEPROM WRITE | 5, 0x1234
        READ_WORD 5
        CHECK "write and read back word 5", ax, 0x1234
        EEPROM WRITE | 6, 0x6666
        EEPROM ERASE | 6
        CHECK "erase clears the data ports", ax, 0
        READ_WORD 6
        CHECK "erase one word", ax, 0xFFFF
        EEPROM WRITE | 63, 0x6363
        READ_WORD 63
        CHECK "write the last word", ax, 0x6363

        ; start bit 12: ten address bits, 1024 words (beyond the 64 saved)
        EEPROM 0x1000 | 1 << 10 | 100, 0x0C0C
        EEPROM 0x1000 | 2 << 10 | 100
        CHECK "a wider command reaches word 100", ax, 0x0C0C
        READ_WORD 5
        CHECK "word 100 is not word 5", ax, 0x1234
        ret

control_port:
        mov ax, READ | 5
        out PORT_EEP_CMD, ax
        mov al, 0x10
        out PORT_EEP_CTRL, al
        in al, PORT_EEP_CTRL
        mov ah, 0
        CHECK "control 0x10 reads back 0x01", ax, 0x01
        mov al, 0x20
        out PORT_EEP_CTRL, al
        in al, PORT_EEP_CTRL
        CHECK "control 0x20 reads back 0x02", ax, 0x02
        mov al, 0x40
        out PORT_EEP_CTRL, al
        in al, PORT_EEP_CTRL
        CHECK "control 0x40 reads back 0x02", ax, 0x02
        ret

bank_one:
        READ_FAR SRAM, 10
        CHECK "bank 1 is empty on an EEPROM cartridge", ax, 0xFFFF
        mov al, 0
        out PORT_BANK_SRAM, al
        READ_FAR SRAM, 10
        CHECK "port 0xC1 0 maps the EEPROM words into bank 1", ax, 0x1234
        push ds
        push word SRAM
        pop ds
        mov word [16], 0xBEEF           ; word 8
        pop ds
        READ_WORD 8
        CHECK "a bank 1 write reaches the EEPROM", ax, 0xBEEF
        ret

refused:
        EEPROM DISABLE
        EEPROM WRITE | 7, 0x7777
        CHECK "a refused write still clears the data ports", ax, 0
        READ_WORD 7
        CHECK "no write after the disable command", ax, 0xFFFF
        EEPROM FILL, 0x1111
        READ_WORD 5
        CHECK "no fill after the disable command", ax, 0x1234

        EEPROM ENABLE
        EEPROM 0x000F, 0x9999           ; start bit below 4: disables
        CHECK "a short command clears the data ports", ax, 0
        EEPROM WRITE | 9, 0x9999
        READ_WORD 9
        CHECK "a short command disables writes", ax, 0xFFFF
        ret

internal_eeprom:
        mov ax, 0x5678
        out PORT_IEEP_DATA, ax
        mov ax, READ | 5
        out PORT_IEEP_CMD, ax
        mov al, 0x40
        out PORT_IEEP_CTRL, al
        in ax, PORT_IEEP_DATA
        CHECK "the internal EEPROM leaves its data ports", ax, 0x5678
        in al, PORT_IEEP_CTRL
        mov ah, 0
        CHECK "internal control 0x40 reads back 0x04", ax, 0x04
        ret

        SUITE_TABLES
        CARTRIDGE_FOOTER 0xF000, start, 0x00, 0, 0x00, 0, 1, 0x10, 0
