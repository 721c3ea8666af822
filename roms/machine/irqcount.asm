; Counts interrupts in internal RAM, so a test can check the scheduler's
; timing through kestra-headless: VBlank, the HBlank timer (every third line),
; the VBlank timer (every tenth frame) and line compare (line 80). Both timers
; start in the first VBlank handler. The main loop idles on HLT for the first
; 50 frames, then on JMP $.
        bits 16
        cpu 186
%include "cart.inc"

VBLANK_COUNT    equ 0x0200
HTIMER_COUNT    equ 0x0202
VTIMER_COUNT    equ 0x0204
LINE_COUNT      equ 0x0206
HALT_ROUNDS     equ 0x0208
READY           equ 0x020A          ; 0x4B43 once set up

BASE            equ 0x08            ; cause i uses vector BASE + i
CODE_SEG        equ 0xF000

%macro VECTOR 2                     ; cause, handler
        mov word [(BASE + %1) * 4], %2
        mov word [(BASE + %1) * 4 + 2], CODE_SEG
%endmacro

        org 0
start:
        cli
        xor ax, ax
        mov ds, ax
        mov ss, ax
        mov sp, 0x2000
        VECTOR 7, hblank_timer
        VECTOR 6, vblank
        VECTOR 5, vblank_timer
        VECTOR 4, line_compare
        mov al, BASE
        out 0xB0, al
        mov al, 80
        out 0x03, al                ; line compare
        mov ax, 3
        out 0xA4, ax                ; HBlank timer reload (0xA4, 0xA5)
        mov ax, 10
        out 0xA6, ax                ; VBlank timer reload (0xA6, 0xA7)
        mov al, 0xFF
        out 0xB6, al                ; nothing pending
        mov al, 0xF0
        out 0xB2, al                ; both timers, VBlank, line compare
        mov word [READY], 0x4B43
        sti
.halt:
        hlt
        inc word [HALT_ROUNDS]
        cmp word [VBLANK_COUNT], 50
        jb .halt
        jmp short $

vblank:
        push ax
        cmp word [VBLANK_COUNT], 0
        jne .counted
        mov al, 0x0F                ; both timers on, repeating
        out 0xA2, al
.counted:
        inc word [VBLANK_COUNT]
        mov al, 0x40
        out 0xB6, al
        pop ax
        iret

%macro COUNTING_HANDLER 3           ; label, counter, cause bit
%1:
        push ax
        inc word [%2]
        mov al, %3
        out 0xB6, al
        pop ax
        iret
%endmacro

        COUNTING_HANDLER hblank_timer, HTIMER_COUNT, 0x80
        COUNTING_HANDLER vblank_timer, VTIMER_COUNT, 0x20
        COUNTING_HANDLER line_compare, LINE_COUNT, 0x10

        CARTRIDGE_FOOTER CODE_SEG, start, 0x00, 0, 0x02, 0, 1, 0x00, 0
