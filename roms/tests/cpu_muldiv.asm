; MUL, IMUL (one operand and with an immediate), DIV and IDIV with the divide
; trap, and the decimal adjustments. The machine's rules: one-operand MUL and
; IMUL set CF = OF when the high half is not zero (so every negative IMUL
; product sets them); a quotient above 255 / 65,535 traps (for IDIV compared
; as a signed number, so negative quotients pass) and leaves the registers;
; AAM and AAD ignore their immediate and always use base 10; DAA and DAS test
; the adjusted AL in their second step.
        bits 16
        cpu 186
%include "suite.inc"

MEM             equ SUITE_SCRATCH
TRAPS           equ SUITE_SCRATCH + 0x100   ; divide traps taken
TRAP_IP         equ SUITE_SCRATCH + 0x102   ; IP pushed by the last one

        org 0
start:
        SUITE_START
        mov word [0 * 4], divide_trap
        mov word [0 * 4 + 2], cs
        call multiply
        call divide
        call divide_traps
        call decimal
        SUITE_DONE

multiply:
        mov ax, 0x0010
        mov bl, 0x10
        SETF F_ZF | F_SF | F_PF | F_AF
        mul bl
        EXPECT "MUL r8 high half", ax, 0x0100, F_ARITH

        mov ax, 0x000F
        mov bl, 0x11
        SETF F_CF | F_OF
        mul bl
        EXPECT "MUL r8 no high half", ax, 0x00FF, 0

        mov ax, 0x1234
        mov cx, 0x0100
        SETF 0
        mul cx
        EXPECT "MUL r16 low word", ax, 0x3400, F_CF | F_OF
        CHECK "MUL r16 high word", dx, 0x0012

        mov ax, 0x00FF
        mov word [MEM], 0x0101
        mov dx, 0x5555
        SETF F_CF | F_OF
        mul word [MEM]
        EXPECT "MUL m16 low word", ax, 0xFFFF, 0
        CHECK "MUL m16 high word", dx, 0x0000

        ; -1 x 1 = 0xFFFF: AH is not 0
        mov ax, 0x00FF
        mov bl, 0x01
        SETF 0
        imul bl
        EXPECT "IMUL r8 -1 x 1", ax, 0xFFFF, F_CF | F_OF

        ; 127 x 2 = 254 = 0x00FE: AH is 0, so CF = OF = 0
        mov ax, 0x007F
        mov bl, 0x02
        SETF F_CF | F_OF
        imul bl
        EXPECT "IMUL r8 127 x 2", ax, 0x00FE, 0

        mov ax, 0x00FE
        mov bl, 0x03
        SETF F_ZF
        imul bl
        EXPECT "IMUL r8 -2 x 3", ax, 0xFFFA, F_CF | F_ZF | F_OF

        mov ax, 0xFFFF
        mov bx, 0xFFFF
        SETF F_CF | F_OF
        imul bx
        EXPECT "IMUL r16 -1 x -1", ax, 0x0001, 0
        CHECK "IMUL r16 -1 x -1 high word", dx, 0x0000

        mov ax, 0x8000
        mov word [MEM], 0x0002
        SETF 0
        imul word [MEM]
        EXPECT "IMUL m16 -32768 x 2", ax, 0x0000, F_CF | F_OF
        CHECK "IMUL m16 -32768 x 2 high word", dx, 0xFFFF

        ; with an immediate: CF = OF when the product leaves -32768..32767
        mov bx, 100
        SETF F_CF | F_OF | F_ZF
        imul ax, bx, 300
        EXPECT "IMUL r16,r/m16,imm16 fits", ax, 30000, F_ZF

        mov word [MEM], 0x4000
        SETF F_CF | F_OF
        imul cx, [MEM], -2
        EXPECT "IMUL r16,m16,imm8 -32768 fits", cx, 0x8000, 0

        mov bx, 2
        SETF 0
        db 0x69, 0xD3
        dw 0x7FFF                       ; IMUL DX, BX, 0x7FFF
        EXPECT "IMUL r16,r16,imm16 too big", dx, 0xFFFE, F_CF | F_OF

        mov bx, 0x8000
        SETF F_SF
        db 0x6B, 0xC3, 0xFF             ; IMUL AX, BX, -1: +32768
        EXPECT "IMUL r16,r16,imm8 +32768", ax, 0x8000, F_CF | F_SF | F_OF
        ret

divide:
        mov ax, 100
        mov bl, 7
        SETF F_ARITH
        div bl
        EXPECT "DIV r8 100 / 7", ax, 0x020E, F_ARITH

        mov dx, 0x0001
        mov ax, 0x0000
        mov cx, 0x0100
        SETF 0
        div cx
        EXPECT "DIV r16 65536 / 256", ax, 0x0100, 0
        CHECK "DIV r16 65536 / 256 remainder", dx, 0x0000

        mov dx, 0
        mov ax, 0xFFFF
        mov word [MEM], 0x0010
        div word [MEM]
        CHECK "DIV m16 quotient", ax, 0x0FFF
        CHECK "DIV m16 remainder", dx, 0x000F

        ; 400 / 2 = 200: stored as AL = 0xC8, no trap
        mov ax, 400
        mov bl, 2
        idiv bl
        CHECK "IDIV r8 quotient 200", ax, 0x00C8

        ; -7 / 2 = -3 remainder -1 (toward zero)
        mov ax, -7
        mov bl, 2
        idiv bl
        CHECK "IDIV r8 -7 / 2", ax, 0xFFFD

        ; 7 / -2 = -3 remainder 1
        mov ax, 7
        mov bl, -2
        idiv bl
        CHECK "IDIV r8 7 / -2", ax, 0x01FD

        ; -512 / 2 = -256: a negative quotient does not trap
        mov ax, -512
        mov bl, 2
        idiv bl
        CHECK "IDIV r8 quotient -256", ax, 0x0000

        mov dx, 0xFFFF
        mov ax, -7
        mov cx, 2
        SETF F_ARITH
        idiv cx
        EXPECT "IDIV r16 -7 / 2", ax, 0xFFFD, F_ARITH
        CHECK "IDIV r16 -7 / 2 remainder", dx, 0xFFFF

        mov dx, 0
        mov ax, 50000
        mov word [MEM], 1
        idiv word [MEM]
        CHECK "IDIV m16 quotient 50000", ax, 50000
        CHECK "IDIV m16 quotient 50000 remainder", dx, 0
        CHECK "no trap from the divisions above", word [TRAPS], 0
        ret

; Each trap must leave the registers and return after the instruction.
%macro DIVIDE_TRAP 3                    ; name, instruction, AX afterwards
        %2
%%next:
        CHECK {%1, " traps"}, word [TRAPS], 1
        CHECK {%1, " returns after it"}, word [TRAP_IP], %%next
        CHECK {%1, " leaves AX"}, ax, %3
        mov word [TRAPS], 0
%endmacro

divide_traps:
        mov ax, 0x0400                  ; 1024 / 2 = 512 > 255
        mov bl, 2
        DIVIDE_TRAP "DIV r8 quotient 512", {div bl}, 0x0400

        mov ax, 0x1234
        mov bl, 0
        DIVIDE_TRAP "DIV r8 by 0", {div bl}, 0x1234

        mov dx, 1                       ; 65536 / 1
        mov ax, 0
        mov cx, 1
        DIVIDE_TRAP "DIV r16 quotient 65536", {div cx}, 0x0000
        CHECK "DIV r16 quotient 65536 leaves DX", dx, 1

        mov ax, 512                     ; 512 / 2 = 256 > 255
        mov bl, 2
        DIVIDE_TRAP "IDIV r8 quotient 256", {idiv bl}, 512

        mov dx, 0x8000                  ; -2^31 / -1 = 2^31
        mov ax, 0
        mov word [MEM], 0xFFFF
        DIVIDE_TRAP "IDIV m16 0x80000000 / -1", {idiv word [MEM]}, 0x0000
        CHECK "IDIV m16 0x80000000 / -1 leaves DX", dx, 0x8000

        mov ax, 0x5678
        mov cx, 0
        mov dx, 0
        DIVIDE_TRAP "IDIV r16 by 0", {idiv cx}, 0x5678
        ret

decimal:
        ; DAA 0x9A: + 6 gives 0xA0 (AF), which then gets + 0x60 (CF)
        mov ax, 0x009A
        SETF 0
        daa
        EXPECT "DAA 0x9A", ax, 0x0000, F_CF | F_PF | F_AF | F_ZF

        ; DAA 0xFA: + 6 wraps to 0x00, which is below 0xA0: no + 0x60
        mov ax, 0x00FA
        SETF 0
        daa
        EXPECT "DAA 0xFA tests the adjusted AL", ax, 0x0000, F_PF | F_AF | F_ZF

        mov ax, 0x0015
        SETF F_AF | F_OF
        daa
        EXPECT "DAA with AF keeps OF", ax, 0x001B, F_PF | F_AF | F_OF

        mov ax, 0x0012
        SETF F_CF | F_AF
        daa
        EXPECT "DAA with CF and AF", ax, 0x0078, F_CF | F_PF | F_AF

        mov ax, 0x000F
        SETF 0
        das
        EXPECT "DAS 0x0F", ax, 0x0009, F_PF | F_AF

        mov ax, 0x00A0
        SETF 0
        das
        EXPECT "DAS 0xA0", ax, 0x0040, F_CF

        ; DAS 0x03 with AF: - 6 gives 0xFD, which is 0xA0 or more: - 0x60
        mov ax, 0x0003
        SETF F_AF
        das
        EXPECT "DAS 0x03 tests the adjusted AL", ax, 0x009D, F_CF | F_AF | F_SF

        mov ax, 0x000B
        SETF 0
        aaa
        EXPECT "AAA 0x0B", ax, 0x0101, F_CF | F_AF

        mov ax, 0x0105
        SETF F_CF | F_ZF | F_SF | F_PF | F_OF
        aaa
        EXPECT "AAA no adjustment clears CF", ax, 0x0105, F_ZF | F_SF | F_PF | F_OF

        mov ax, 0x00FF
        SETF F_AF
        aaa
        EXPECT "AAA 0xFF with AF", ax, 0x0105, F_CF | F_AF

        mov ax, 0x020B
        SETF 0
        aas
        EXPECT "AAS 0x020B", ax, 0x0105, F_CF | F_AF

        mov ax, 0x0205
        SETF F_CF
        aas
        EXPECT "AAS no adjustment", ax, 0x0205, 0

        ; AAM ignores its immediate; flags from the whole AX, PF from AL
        mov ax, 0x0023
        SETF F_CF | F_OF | F_AF | F_ZF
        aam 0x10
        EXPECT "AAM 0x10 uses base 10", ax, 0x0305, F_CF | F_PF | F_AF | F_OF

        mov ax, 0x000A
        SETF 0
        aam
        EXPECT "AAM 10 ZF from the whole AX", ax, 0x0100, F_PF

        mov ax, 0x0063
        SETF 0
        aam 0                           ; no divide trap
        EXPECT "AAM 0 uses base 10", ax, 0x0909, F_PF

        mov ax, 0xFF00
        SETF 0
        aam
        EXPECT "AAM zero", ax, 0x0000, F_PF | F_ZF

        mov ax, 0x0305
        SETF F_CF | F_PF
        aad 0x10
        EXPECT "AAD 0x10 uses base 10", ax, 0x0023, F_CF

        mov ax, 0x1909                  ; 9 + 250 = 259: 8 bits keep 3
        SETF 0
        aad
        EXPECT "AAD wraps at 8 bits", ax, 0x0003, F_PF

        mov ax, 0x0D0A                  ; 10 + 130 = 140 = 0x8C
        SETF 0
        aad
        EXPECT "AAD sign from AL", ax, 0x008C, F_SF
        CHECK "no trap from AAM 0", word [TRAPS], 0
        ret

divide_trap:
        inc word [TRAPS]
        push bp
        mov bp, sp
        push word [bp + 2]
        pop word [TRAP_IP]
        pop bp
        iret

        SUITE_TABLES
        CARTRIDGE_FOOTER 0xF000, start, 0x00, 0, 0x00, 0, 1, 0x00, 0
