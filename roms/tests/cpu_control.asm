; Control transfer: near and far CALL/JMP/RET in every form, LOOP, LOOPZ,
; LOOPNZ, JCXZ, INT n, INT 3, INTO, BOUND and IRET, HLT, and the opcodes that
; do nothing (undefined opcodes, the coprocessor escapes, empty group members,
; WAIT, LOCK). The machine's rules checked here: a trap pushes the IP of the
; next instruction (also for BOUND) and the flags as they were, then clears IF
; and TF; BOUND compares unsigned; HLT does not wait; the escapes 0xD8-0xDF
; fetch only their ModRM byte.
        bits 16
        cpu 186
%include "suite.inc"

MEM             equ SUITE_SCRATCH
SAVED           equ SUITE_SCRATCH + 0x10
RECORD          equ SUITE_SCRATCH + 0x20    ; what a handler saw:
REC_VECTOR      equ RECORD + 0              ;   its vector
REC_IP          equ RECORD + 2              ;   the IP, CS and flags pushed
REC_CS          equ RECORD + 4
REC_FLAGS       equ RECORD + 6
REC_INSIDE      equ RECORD + 8              ;   the flags inside the handler
REC_COUNT       equ RECORD + 10             ;   how often it ran
FAR_CS          equ RECORD + 12             ;   far procedures: CS inside

FAR_SEG         equ 0xF010              ; the same code, offsets 0x100 lower
%define FAR(label) (label - 0x100)

%macro INSTALL 2                        ; vector, handler
        mov word [(%1) * 4], %2
        mov word [(%1) * 4 + 2], cs
%endmacro

        org 0
start:
        SUITE_START
        INSTALL 3, trap_3
        INSTALL 4, trap_4
        INSTALL 5, trap_5
        INSTALL 0x40, trap_40
        INSTALL 0x41, set_carry_on_return
        call near_transfers
        call far_transfers
        call loops
        call software_interrupts
        call bound
        call halt_and_no_ops
        SUITE_DONE

; Returns the address it was called from in AX.
return_address:
        pop ax
        push ax
        ret

near_transfers:
        call return_address
.after_call:
        CHECK "CALL rel16 pushes the next IP", ax, .after_call

        mov bx, sp
        push word 1
        push word 2
        call return_four
        mov ax, sp
        sub ax, bx
        CHECK "RET imm16 releases the arguments", ax, 0

        mov bx, return_address
        call bx
.after_reg:
        CHECK "CALL r16", ax, .after_reg
        mov word [MEM], return_address
        call [MEM]
.after_mem:
        CHECK "CALL m16", ax, .after_mem

        mov ax, 0
        mov bx, .jumped_reg
        jmp bx
        mov ax, 0xBAD
.jumped_reg:
        CHECK "JMP r16", ax, 0
        mov word [MEM], .jumped_mem
        jmp [MEM]
        mov ax, 0xBAD
.jumped_mem:
        CHECK "JMP m16", ax, 0
        jmp near .long_jump
        mov ax, 0xBAD
.long_jump:
        CHECK "JMP rel16", ax, 0
        ret

return_four:
        ret 4

far_transfers:
        mov word [FAR_CS], 0
        jmp FAR_SEG:FAR(far_jump_target)
.back:
        CHECK "JMP far immediate", word [FAR_CS], FAR_SEG

        mov bx, sp
        call FAR_SEG:FAR(far_procedure)
.after_far:
        mov ax, sp
        sub ax, bx
        CHECK "CALL far CS inside", word [FAR_CS], FAR_SEG
        CHECK "CALL far pushes CS", word [REC_CS], 0xF000
        CHECK "CALL far pushes the next IP", word [REC_IP], .after_far
        CHECK "RETF restores SP", ax, 0

        mov bx, sp
        push word 7
        call FAR_SEG:FAR(far_procedure_ret2)
        mov ax, sp
        sub ax, bx
        CHECK "RETF imm16 releases the argument", ax, 0

        mov word [MEM], FAR(far_procedure)
        mov word [MEM + 2], FAR_SEG
        mov word [FAR_CS], 0
        call far [MEM]
.after_indirect:
        CHECK "CALL m16:16 CS inside", word [FAR_CS], FAR_SEG
        CHECK "CALL m16:16 pushes the next IP", word [REC_IP], .after_indirect

        mov word [MEM], FAR(far_jump_target_2)
        mov word [FAR_CS], 0
        jmp far [MEM]
.back_2:
        CHECK "JMP m16:16", word [FAR_CS], FAR_SEG
        ret

; These run with CS = FAR_SEG.
far_jump_target:
        mov [FAR_CS], cs
        jmp 0xF000:far_transfers.back
far_jump_target_2:
        mov [FAR_CS], cs
        jmp 0xF000:far_transfers.back_2
far_procedure:
        mov [FAR_CS], cs
        push bp
        mov bp, sp
        push word [bp + 2]
        pop word [REC_IP]
        push word [bp + 4]
        pop word [REC_CS]
        pop bp
        retf
far_procedure_ret2:
        retf 2

loops:
        mov cx, 5
        xor bx, bx
.count:
        inc bx
        loop .count
        CHECK "LOOP runs CX times", bx, 5
        CHECK "LOOP leaves CX 0", cx, 0

        mov cx, 0                       ; 65,536 rounds: BX wraps to 0
        xor bx, bx
.count_all:
        inc bx
        loop .count_all
        CHECK "LOOP from CX 0 runs 65536 times", bx, 0

        mov cx, 10
        xor bx, bx
.while_zero:
        inc bx
        test bl, 4
        loopz .while_zero
        CHECK "LOOPZ stops when ZF is clear", bx, 4
        CHECK "LOOPZ stops when ZF is clear CX", cx, 6

        mov cx, 5
        xor bx, bx
.zero_to_end:
        inc bx
        test bl, 0x80
        loopz .zero_to_end
        CHECK "LOOPZ stops at CX 0", bx, 5

        mov cx, 10
        xor bx, bx
.while_not_zero:
        inc bx
        cmp bl, 4
        loopnz .while_not_zero
        CHECK "LOOPNZ stops when ZF is set", bx, 4
        CHECK "LOOPNZ stops when ZF is set CX", cx, 6

        mov cx, 0
        CHECK_JUMP "JCXZ with CX 0", jcxz, 1
        mov cx, 1
        CHECK_JUMP "JCXZ with CX 1", jcxz, 0
        CHECK "JCXZ leaves CX", cx, 1
        ret

%macro CLEAR_RECORD 0
        mov word [REC_VECTOR], 0xFFFF
        mov word [REC_IP], 0
        mov word [REC_COUNT], 0
%endmacro

software_interrupts:
        CLEAR_RECORD
        SETF F_TF | F_IF | F_DF | F_CF
        int 0x40
.after_int:
        CHECK_FLAGS "IRET restores TF IF DF CF", F_TF | F_IF | F_DF | F_CF
        SETF 0
        CHECK "INT n vector", word [REC_VECTOR], 0x40
        CHECK "INT n pushes the next IP", word [REC_IP], .after_int
        CHECK "INT n pushes CS", word [REC_CS], 0xF000
        CHECK "INT n pushes the flags", word [REC_FLAGS], F_TF | F_IF | F_DF | F_CF
        CHECK "INT n clears IF and TF", word [REC_INSIDE], F_DF | F_CF

        CLEAR_RECORD
        int3
.after_int3:
        CHECK "INT 3 vector", word [REC_VECTOR], 3
        CHECK "INT 3 pushes the next IP", word [REC_IP], .after_int3

        CLEAR_RECORD
        SETF 0
        into
        CHECK "INTO without OF", word [REC_COUNT], 0
        SETF F_OF
        into
.after_into:
        SETF 0
        CHECK "INTO with OF traps", word [REC_VECTOR], 4
        CHECK "INTO pushes the next IP", word [REC_IP], .after_into
        CHECK "INTO pushes OF", word [REC_FLAGS], F_OF

        SETF F_ZF
        int 0x41                        ; its handler sets CF in the pushed flags
        CHECK_FLAGS "IRET loads the flags from the stack", F_ZF | F_CF
        SETF 0
        ret

bound:
        mov word [MEM], 0
        mov word [MEM + 2], 10
        CLEAR_RECORD
        mov ax, 10
        bound ax, [MEM]
        CHECK "BOUND at the upper bound", word [REC_COUNT], 0
        mov ax, 0
        bound ax, [MEM]
        CHECK "BOUND at the lower bound", word [REC_COUNT], 0
        mov ax, 11
        bound ax, [MEM]
.after_above:
        CHECK "BOUND above traps", word [REC_VECTOR], 5
        CHECK "BOUND pushes the next IP", word [REC_IP], .after_above
        CHECK "BOUND above leaves AX", ax, 11

        CLEAR_RECORD
        mov word [MEM], 5
        mov cx, 4
        bound cx, [MEM]
        CHECK "BOUND below traps", word [REC_COUNT], 1

        ; unsigned: 5 is below 0xFFF0
        CLEAR_RECORD
        mov word [MEM], 0xFFF0
        mov word [MEM + 2], 0x0010
        mov dx, 5
        bound dx, [MEM]
        CHECK "BOUND compares unsigned", word [REC_COUNT], 1
        ret

halt_and_no_ops:
        mov ax, 0
        hlt                             ; IF is clear: a waiting HLT would hang
        inc ax
        CHECK "HLT does not wait", ax, 1

        mov ax, 0
        db 0x63
        inc ax
        db 0x66
        inc ax
        db 0x67
        inc ax
        db 0xF1
        inc ax
        CHECK "undefined opcodes take one byte", ax, 4

        mov ax, 0
        db 0xD8, 0x06                   ; the escape takes its ModRM byte only:
        inc ax                          ; the "displacement" runs
        inc ax
        db 0xDF, 0xC0
        inc ax
        CHECK "escapes take their ModRM byte only", ax, 3

        mov ax, 0x0081
        mov word [MEM], 0x1234
        SETF F_ZF
        db 0xF6, 0xC8                   ; group 0xF6 reg 1: nothing
        db 0xF7, 0x0E
        dw MEM                          ; group 0xF7 reg 1 with a displacement
        db 0xFE, 0xD0                   ; group 0xFE reg 2
        db 0xFE, 0x3E
        dw MEM                          ; group 0xFE reg 7 with a displacement
        db 0xFF, 0xF8                   ; group 0xFF reg 7
        db 0x9B                         ; WAIT
        EXPECT "empty group members and WAIT", ax, 0x0081, F_ZF
        CHECK "empty group members leave memory", word [MEM], 0x1234

        mov ax, 0
        db 0xF0                         ; LOCK
        inc ax
        CHECK "LOCK prefix", ax, 1
        ret

; Trap handlers: record vector, pushed IP, CS and flags, the flags inside.
%macro TRAP_HANDLER 2                   ; label, vector
%1:
        push bp
        mov bp, sp
        pushf
        pop word [REC_INSIDE]
        mov word [REC_VECTOR], %2
        push word [bp + 2]
        pop word [REC_IP]
        push word [bp + 4]
        pop word [REC_CS]
        push word [bp + 6]
        pop word [REC_FLAGS]
        inc word [REC_COUNT]
        pop bp
        iret
%endmacro

        TRAP_HANDLER trap_3, 3
        TRAP_HANDLER trap_4, 4
        TRAP_HANDLER trap_5, 5
        TRAP_HANDLER trap_40, 0x40

set_carry_on_return:
        push bp
        mov bp, sp
        or word [bp + 6], F_CF
        pop bp
        iret

        SUITE_TABLES
        CARTRIDGE_FOOTER 0xF000, start, 0x00, 0, 0x00, 0, 1, 0x00, 0
