; Plays a square tone on channel 1 for 75 frames, then silences it and
; streams a staircase through the sound DMA for 6,000 lines, so a test can
; find both in the mixed sound of kestra-headless --wav.
;
; Tone: wave samples 0-15 at level 15, 16-31 at level 0, period 1792:
; 12,000 samples per second, 375 Hz.
; Stream: 60-byte periods of 0x20, 0x60, 0xA0, 0xE0 (15 lines each): 200 Hz.
        bits 16
        cpu 186
%include "cart.inc"

WAVE_TABLE      equ 0x0800          ; port 0x8F = WAVE_TABLE / 64
TONE_FRAMES     equ 75
STREAM_PERIODS  equ 100
CODE_SEG        equ 0xF000
DONE            equ 0x0100          ; 0x4B53 once the stream has been started

        org 0
start:
        cli
        xor ax, ax
        mov ds, ax
        mov es, ax

        mov al, WAVE_TABLE / 64
        out 0x8F, al
        mov di, WAVE_TABLE          ; channel 1: bytes 0-15 of the table
        mov cx, 8
        mov al, 0xFF
        rep stosb
        mov cx, 8
        xor al, al
        rep stosb

        xor al, al
        out 0x80, al
        mov al, 0x07
        out 0x81, al                ; period 0x700
        mov al, 0xFF
        out 0x88, al                ; left 15, right 15
        mov al, 0x01
        out 0x90, al                ; channel 1 on

        mov cx, TONE_FRAMES
        call wait_frames

        xor al, al
        out 0x90, al                ; channel 1 off

        mov ax, stream
        out 0x4A, al                ; source, linear CODE_SEG * 16 + stream
        mov al, ah
        out 0x4B, al
        mov al, CODE_SEG >> 12
        out 0x4C, al
        mov ax, STREAM_PERIODS * 60 + 31   ; the DMA stops below 32 left
        out 0x4E, al
        mov al, ah
        out 0x4F, al
        mov al, 0x80
        out 0x52, al                ; sound DMA on
        mov word [DONE], 0x4B53
        jmp short $

; Waits for cx frames: each ends when the line counter leaves line 144.
wait_frames:
.in_frame:
        in al, 0x02
        cmp al, 144
        jne .in_frame
.in_vblank:
        in al, 0x02
        cmp al, 144
        je .in_vblank
        loop .in_frame
        ret

stream:
%rep STREAM_PERIODS + 1
        times 15 db 0x20
        times 15 db 0x60
        times 15 db 0xA0
        times 15 db 0xE0
%endrep

        CARTRIDGE_FOOTER CODE_SEG, start, 0x00, 0, 0x02, 0, 1, 0x00, 0
