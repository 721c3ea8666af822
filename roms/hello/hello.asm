; The smallest cartridge: marks internal RAM so a test can see it ran, then
; idles on HLT. The code lives in the last 64 KB bank, mapped at 0xF000.
        bits 16
        cpu 186
%include "cart.inc"

        org 0
start:
        cli
        xor ax, ax
        mov ds, ax
        mov word [0x0100], 0x4B45       ; "EK": the cartridge started
        mov word [0x0102], 0x5254       ; "TR"
.idle:
        hlt
        inc word [0x0104]               ; counts idle rounds
        jmp .idle

        CARTRIDGE_FOOTER 0xF000, start, 0x00, 0, 0x01, 0, 1, 0x00, 0
