; Cycle costs measured from the inside. The HBlank timer interrupts every 4
; lines (1,024 cycles); its handler notes a round counter in memory at each
; entry. A measured loop is "body; INC word [COUNT]; JMP" and the count of
; rounds in 8 periods is compared with what the machine's cost table gives:
;
;   rounds = 8 * (1024 - 31) / (body + 3 + 4)
;
; 31 being the handler's own cycles. Interrupts are entered only between
; slices, so each end of the window may move by up to the largest instruction
; cost less one; the accepted range is that, rounded out to whole rounds
; (about one round either way).
;
; Two more checks read the line counter: an interruptible REP pays its set-up
; again every time it resumes in a new slice, so REP STOSB keeps 4.5 elements
; per slice (3,600 bytes in 100 lines) and REPE CMPSB 2.7 (2,700 bytes in 125
; lines); and HLT ends the slice after one more instruction, so a loop
; around it makes one round a slice (800 rounds in 100 lines).
        bits 16
        cpu 186
%include "suite.inc"

BASE            equ 0x08                ; interrupt vector base
LINES           equ 4                   ; timer period
PERIOD          equ LINES * 256
HANDLER         equ 31                  ; cycles of timer_handler
PERIODS         equ 8
WINDOW          equ PERIODS * (PERIOD - HANDLER)

COUNT           equ SUITE_SCRATCH + 0x0F0   ; rounds of the measured loop
SNAP_PTR        equ SUITE_SCRATCH + 0x0F2   ; where the next snapshot goes
LOOP_SP         equ SUITE_SCRATCH + 0x0F4   ; SP outside the body
SNAPS           equ SUITE_SCRATCH + 0x100   ; COUNT at each timer entry
SNAP_END        equ SNAPS + 2 * (PERIODS + 1)
EXIT_IP         equ SUITE_SCRATCH + 0x140   ; where the last entry leaves to
MEM             equ SUITE_SCRATCH + 0x150
AREA            equ 0x6000              ; for string instructions

; MEASURE name, cycles of the body, largest instruction cost in the loop
; (at least 4, the JMP); then the body; then MEASURE_END. The body may use
; every register but SP and DS, which the handler needs; they keep their
; values from before MEASURE.
%macro MEASURE 3
  %push measure
  %xdefine %$name %1
  %assign %$round (%2) + 7
  %assign %$slack (%3) - 1
        mov word [EXIT_IP], %$done
        call measure_start
        mov [LOOP_SP], sp
%$loop:
%endmacro

%macro MEASURE_END 0
        inc word [COUNT]
        jmp short %$loop
%$done:
        mov sp, [LOOP_SP]               ; the last entry may leave mid-body
        push ax
        mov ax, [SNAP_END - 2]
        sub ax, [SNAPS]
        CHECK_RANGE %$name, ax, (WINDOW - %$slack) / %$round, (WINDOW + %$slack + %$round - 1) / %$round
        pop ax
  %pop
%endmacro

        org 0
start:
        SUITE_START
        mov word [(BASE + 7) * 4], timer_handler
        mov word [(BASE + 7) * 4 + 2], cs
        mov al, BASE
        out PORT_INT_BASE, al
        mov ax, LINES
        out PORT_HTIMER_RELOAD, ax
        mov al, INT_HTIMER
        out PORT_INT_STATUS, al
        out PORT_INT_ENABLE, al
        call alu_and_moves
        call multiply_divide
        call shifts
        call branches
        call nec
        call strings
        call long_repeats
        SUITE_DONE

alu_and_moves:
        MEASURE "NOP costs 1", 4, 4
        nop
        nop
        nop
        nop
        MEASURE_END

        MEASURE "MOV r16,r16 costs 1", 2, 4
        mov ax, cx
        mov dx, ax
        MEASURE_END

        MEASURE "MOV m16,r16 costs 1", 2, 4
        mov [MEM], ax
        mov [MEM], cx
        MEASURE_END

        MEASURE "ADD m16,r16 costs 3", 3, 4
        add [MEM], ax
        MEASURE_END

        MEASURE "ADD r16,m16 costs 2", 2, 4
        add ax, [MEM]
        MEASURE_END

        MEASURE "CMP m16,r16 costs 2", 2, 4
        cmp [MEM], ax
        MEASURE_END

        MEASURE "CMP m16,imm8 costs 3", 3, 4
        cmp word [MEM], 5
        MEASURE_END

        MEASURE "XCHG r16,m16 costs 5", 5, 5
        xchg ax, [MEM]
        MEASURE_END

        MEASURE "PUSH, POP cost 1 each", 2, 4
        push ax
        pop ax
        MEASURE_END

        MEASURE "PUSHA, POPA cost 9 and 8", 17, 9
        pusha
        popa
        MEASURE_END

        mov ax, 0x1234
        MEASURE "segment prefixes cost 1 each", 3, 4
        db 0x26, 0x2E
        mov ax, [si]
        MEASURE_END

        MEASURE "IN AL,imm8 costs 6", 6, 6
        in al, PORT_DMA_SOURCE
        MEASURE_END

        MEASURE "OUT imm8,AL costs 6", 6, 6
        out PORT_DMA_SOURCE, al
        MEASURE_END

        MEASURE "undefined opcode 0x63 costs 10", 10, 10
        db 0x63
        MEASURE_END

        MEASURE "escape 0xD8 costs 3", 3, 4
        db 0xD8, 0xC0
        MEASURE_END

        MEASURE "WAIT and F6 reg 1 cost nothing", 0, 4
        db 0x9B
        db 0xF6, 0xC8
        MEASURE_END
        ret

multiply_divide:
        MEASURE "MUL r16 costs 3", 3, 4
        mul cx
        MEASURE_END

        mov word [MEM], 3
        MEASURE "IMUL m16 costs 4", 4, 4
        imul word [MEM]
        MEASURE_END

        MEASURE "IMUL r16,r16,imm8 costs 3", 3, 4
        imul dx, cx, 3
        MEASURE_END

        mov cx, 7                       ; DX stays below CX: no trap
        xor dx, dx
        mov ax, 100
        MEASURE "DIV r16 costs 23", 23, 23
        div cx
        MEASURE_END

        xor dx, dx
        mov word [MEM], 7
        MEASURE "DIV m16 costs 24", 24, 24
        div word [MEM]
        MEASURE_END

        mov cl, 7                       ; AH stays below 7: positive, no trap
        mov ax, 100
        MEASURE "IDIV r8 costs 17", 17, 17
        idiv cl
        MEASURE_END

        mov cx, 7
        xor dx, dx
        MEASURE "IDIV r16 costs 24", 24, 24
        idiv cx
        MEASURE_END

        MEASURE "AAM costs 17", 17, 17
        aam
        MEASURE_END

        MEASURE "AAD costs 6", 6, 6
        aad
        MEASURE_END

        MEASURE "DAA costs 10", 10, 10
        daa
        MEASURE_END

        MEASURE "AAA costs 9", 9, 9
        aaa
        MEASURE_END
        ret

shifts:
        mov cx, 3
        MEASURE "ROL r8,CL 3 costs 3 + 3", 6, 6
        rol al, cl
        MEASURE_END

        MEASURE "ROL r8,imm 3 costs 3", 3, 4
        rol al, 3
        MEASURE_END

        mov cx, 0x20
        MEASURE "SHL r8,CL 0x20 costs 3", 3, 4
        shl al, cl
        MEASURE_END

        mov cx, 2
        MEASURE "SHL m16,CL 2 costs 5", 5, 5
        shl word [MEM], cl
        MEASURE_END

        MEASURE "RCR r16,1 and SHL m16,1 cost 1 and 3", 4, 4
        rcr ax, 1
        shl word [MEM], 1
        MEASURE_END
        ret

just_ret:
        ret
just_retf:
        retf

branches:
        MEASURE "Jcc taken costs 3", 3, 4
        jnz short $ + 2                 ; ZF is clear after the INC
        MEASURE_END

        MEASURE "Jcc not taken costs 1", 1, 4
        jz short $ + 2
        MEASURE_END

        mov cx, 0xFFFF
        MEASURE "LOOP taken costs 5", 5, 5
        loop $ + 2
        MEASURE_END

        MEASURE "JCXZ not taken costs 1", 1, 4
        jcxz $ + 2
        MEASURE_END

        MEASURE "CALL rel16, RET cost 5 and 6", 11, 6
        call just_ret
        MEASURE_END

        MEASURE "CALL far, RETF cost 10 and 8", 18, 10
        call 0xF000:just_retf
        MEASURE_END

        MEASURE "ENTER 4,2 and LEAVE cost 19 + 4 and 2", 25, 23
        enter 4, 2
        leave
        MEASURE_END

        mov word [MEM], 0
        mov word [MEM + 2], 10
        mov ax, 5
        MEASURE "BOUND in range costs 13", 13, 13
        bound ax, [MEM]
        MEASURE_END
        ret

nec:
        mov cx, 2
        mov si, MEM
        mov di, MEM + 4
        MEASURE "ADD4S costs 2", 2, 4
        db 0x0F, 0x20
        MEASURE_END

        MEASURE "ROL4 r8 costs 15", 15, 15
        db 0x0F, 0x28, 0xC2             ; DL
        MEASURE_END

        MEASURE "ROL4 m8 costs 9", 9, 9
        db 0x0F, 0x28, 0x06
        dw MEM
        MEASURE_END

        MEASURE "ROR4 r8 costs 19", 19, 19
        db 0x0F, 0x2A, 0xC2
        MEASURE_END

        MEASURE "TEST1 and SET1 cost 4", 8, 4
        db 0x0F, 0x10, 0xC0
        db 0x0F, 0x1D, 0xC2, 3
        MEASURE_END

        MEASURE "0F 92 costs 2, 0F 31 nothing", 2, 4
        db 0x0F, 0x92
        db 0x0F, 0x31, 0x00
        MEASURE_END
        ret

strings:
        mov si, AREA
        mov di, AREA
        MEASURE "MOVSB costs 5", 5, 5
        movsb
        MEASURE_END

        mov si, AREA
        mov di, AREA
        MEASURE "CMPSB costs 6, SCASB 4", 10, 6
        cmpsb
        scasb
        MEASURE_END

        mov si, AREA
        mov di, AREA
        MEASURE "LODSW and STOSW cost 3", 6, 4
        lodsw
        stosw
        MEASURE_END

        MEASURE "REP MOVSB with CX 0 costs 5", 6, 5
        mov cx, 0
        rep movsb
        MEASURE_END

        MEASURE "REP ES: MOVSB with CX 0 costs 2 + 5", 8, 7
        mov cx, 0
        db 0xF3, 0x26, 0xA4
        MEASURE_END

        MEASURE "REPNE CMPSB with CX 0 costs 5", 6, 5
        mov cx, 0
        repne cmpsb
        MEASURE_END

        MEASURE "REPNE MOVSB, REPC MOVSB with CX 0 cost 2", 5, 4
        mov cx, 0
        repne movsb
        db 0x65
        movsb
        MEASURE_END

        MEASURE "REPNE STOSB of 3 costs 2 + 3 x 3", 13, 11
        mov cx, 3
        mov di, AREA
        repne stosb
        MEASURE_END

        MEASURE "REPNE MOVSB of 8 costs 2 + 8 x 5", 45, 42
        mov cx, 8
        mov si, AREA
        mov di, AREA + 0x100
        repne movsb
        MEASURE_END

        MEASURE "REPC MOVSB of 4 with CF costs 2 + 4 x 5", 29, 22
        mov cx, 4
        mov si, AREA
        mov di, AREA + 0x100
        stc
        db 0x65
        movsb
        MEASURE_END
        ret

; One round a slice: HLT leaves a budget of 1 for the DEC, and the run ends.
halt_rounds:
        mov cx, 800
.round:
        hlt
        dec cx
        jnz .round
        ret

; Lines the line counter moves while one instruction runs (AX), IF clear.
%macro LINES_FOR 1+
        cli
        in al, PORT_LINE
        mov dl, al
        %1
        in al, PORT_LINE
        sub al, dl
        jnc %%positive
        add al, 159
%%positive:
        mov ah, 0
%endmacro

long_repeats:
        mov di, AREA
        mov cx, 3600
        LINES_FOR rep stosb
        CHECK_RANGE "REP STOSB of 3600 takes 100 lines", ax, 99, 101
        mov si, AREA
        mov di, AREA
        mov cx, 2700
        LINES_FOR repe cmpsb
        CHECK_RANGE "REPE CMPSB of 2700 takes 125 lines", ax, 124, 126
        LINES_FOR call halt_rounds
        CHECK_RANGE "HLT ends the slice: 800 rounds in 100 lines", ax, 99, 101
        ret

; Starts the timer with the snapshot pointer at its start; keeps AX.
measure_start:
        mov word [SNAP_PTR], SNAPS
        mov word [COUNT], 0
        push ax
        mov al, TIMER_HBLANK_ON | TIMER_HBLANK_REPEAT
        out PORT_TIMER_CTRL, al
        pop ax
        sti
        ret

; 31 cycles on the way back to the loop; the last entry stops the timer and
; returns to EXIT_IP instead.
timer_handler:
        push ax                         ; 1
        mov ax, [COUNT]                 ; 1
        push bx                         ; 1
        mov bx, [SNAP_PTR]              ; 1
        mov [bx], ax                    ; 1
        add bx, 2                       ; 1
        mov [SNAP_PTR], bx              ; 1
        cmp bx, SNAP_END                ; 1
        pop bx                          ; 1
        je .last                        ; 1 not taken
        mov al, INT_HTIMER              ; 1
        out PORT_INT_STATUS, al         ; 6
        pop ax                          ; 1
        iret                            ; 13
.last:
        mov al, 0
        out PORT_TIMER_CTRL, al
        mov al, INT_HTIMER
        out PORT_INT_STATUS, al
        pop ax
        add sp, 2
        push word [EXIT_IP]
        iret

        SUITE_TABLES
        CARTRIDGE_FOOTER 0xF000, start, 0x00, 0, 0x00, 0, 1, 0x00, 0
