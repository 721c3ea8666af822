; The arithmetic and logic instructions in all their forms, INC/DEC, NEG/NOT,
; TEST, CBW/CWD, the flag instructions, the flags word and the conditional
; jumps. Every result and the whole flags word after it are compared with the
; values the machine's flag rules give (worked out in the comments): ADC/SBB
; fold the carry into the source before the flags are derived, NEG leaves AF
; and OF, JL/JGE look at ZF, PF comes from the low byte only.
        bits 16
        cpu 186
%include "suite.inc"

MEM     equ SUITE_SCRATCH

        org 0
start:
        SUITE_START
        call add_family
        call logic_family
        call sub_family
        call carry_family
        call inc_dec
        call neg_not_test
        call conversions
        call flag_instructions
        call conditional_jumps
        SUITE_DONE

add_family:
        ; 0x80 + 0x80 = 0x100: CF; OF = (a^r)&(b^r)&0x80; r & 0xFF = 0: ZF, PF
        mov ax, 0x1280
        SETF 0
        add al, 0x80
        EXPECT "ADD AL,imm8 0x80+0x80", ax, 0x1200, F_CF | F_PF | F_ZF | F_OF
        CHECK_JUMP "JL after a zero result with OF", jl, 0
        CHECK_JUMP "JGE after a zero result with OF", jge, 1
        CHECK_JUMP "JLE after a zero result with OF", jle, 1
        CHECK_JUMP "JG after a zero result with OF", jg, 0

        ; 0x0F + 0x01: aux = (0x0F^0x01^0x10) & 0x10; parity of 0x10 is odd
        mov ax, 0x000F
        mov bl, 0x01
        SETF F_CF | F_OF
        add al, bl
        EXPECT "ADD r/m8,r8 nibble carry", ax, 0x0010, F_AF

        ; 0x01 + 0x7F = 0x80: signed overflow, AF from bit 4 of 0x01^0x7F^0x80
        mov ax, 0x0001
        SETF 0
        add al, 0x7F
        EXPECT "ADD AL,imm8 signed overflow", ax, 0x0080, F_AF | F_SF | F_OF

        ; 0xFFFF + 1 = 0x10000
        mov ax, 0xFFFF
        SETF 0
        db 0x05
        dw 0x0001                       ; ADD AX, imm16
        EXPECT "ADD AX,imm16 carry out", ax, 0x0000, F_CF | F_PF | F_AF | F_ZF

        ; 0x7FFF + 1 = 0x8000 in memory
        mov word [MEM], 0x7FFF
        mov bx, 1
        SETF 0
        add [MEM], bx
        EXPECT "ADD m16,r16 overflow", word [MEM], 0x8000, F_PF | F_AF | F_SF | F_OF

        ; 0x1234 + 0x4321 = 0x5555: no carries, parity of 0x55 even
        mov ax, 0x1234
        mov word [MEM], 0x4321
        SETF F_ARITH
        add ax, [MEM]
        EXPECT "ADD r16,m16", ax, 0x5555, F_PF

        ; 0xF0 + 0x20 = 0x110: CF only (parity of 0x10 odd)
        mov bx, 0x00F0
        mov word [MEM], 0x0020
        SETF 0
        add bl, [MEM]
        EXPECT "ADD r8,m8 carry", bx, 0x0010, F_CF

        ; 0x44 + 0x44 = 0x88: overflow, parity of 0x88 even
        mov word [MEM], 0x0044
        mov cl, 0x44
        SETF 0
        add [MEM], cl
        EXPECT "ADD m8,r8 overflow", word [MEM], 0x0088, F_PF | F_SF | F_OF

        mov ax, 0x00FF
        SETF 0
        db 0x82, 0xC0, 0x01             ; ADD AL, 1 through group 0x82
        EXPECT "ADD group 0x82", ax, 0x0000, F_CF | F_PF | F_AF | F_ZF

        ; 1 + 0xFFFE (sign-extended 0xFE) = 0xFFFF: no carry
        mov bx, 1
        SETF 0
        db 0x83, 0xC3, 0xFE             ; ADD BX, -2
        EXPECT "ADD group 0x83 sign-extended", bx, 0xFFFF, F_PF | F_SF

        ; 0x00FF + 0x0100 = 0x01FF: parity from the low byte 0xFF only
        mov ax, 0x00FF
        SETF 0
        db 0x05
        dw 0x0100
        EXPECT "ADD parity of the low byte", ax, 0x01FF, F_PF
        ret

logic_family:
        mov ax, 0x0030
        SETF F_CF | F_OF | F_AF
        or al, 0x0F
        EXPECT "OR AL,imm8 clears CF OF AF", ax, 0x003F, F_PF

        mov word [MEM], 0x0001
        SETF 0
        db 0x81, 0x0E
        dw MEM, 0x8000                  ; OR word [MEM], 0x8000
        EXPECT "OR m16,imm16", word [MEM], 0x8001, F_SF

        mov word [MEM], 0x0000
        mov ax, 0
        SETF F_CF
        or al, [MEM]
        EXPECT "OR r8,m8 zero", ax, 0x0000, F_PF | F_ZF

        mov ax, 0x00F0
        mov bl, 0x0F
        SETF F_ARITH
        and al, bl
        EXPECT "AND r/m8,r8 zero", ax, 0x0000, F_PF | F_ZF

        mov ax, 0xF0F0
        SETF 0
        db 0x25
        dw 0x8F0F                       ; AND AX, 0x8F0F
        EXPECT "AND AX,imm16", ax, 0x8000, F_PF | F_SF

        mov word [MEM], 0x12F3
        SETF F_CF
        and byte [MEM], 0x3C
        EXPECT "AND m8,imm8", word [MEM], 0x1230, F_PF

        mov ax, 0x1234
        SETF F_ARITH
        xor ax, ax
        EXPECT "XOR r16,r16 self", ax, 0x0000, F_PF | F_ZF

        mov word [MEM], 0xFF00
        mov dx, 0x0F0F
        SETF 0
        xor [MEM], dx
        EXPECT "XOR m16,r16", word [MEM], 0xF00F, F_PF | F_SF

        mov ax, 0x0001
        SETF 0
        xor al, 0x80
        EXPECT "XOR AL,imm8", ax, 0x0081, F_PF | F_SF
        ret

sub_family:
        ; 0 - 1 = -1: borrow, aux borrow, parity of 0xFF even
        mov ax, 0x0000
        SETF 0
        sub al, 1
        EXPECT "SUB AL,imm8 borrow", ax, 0x00FF, F_CF | F_PF | F_AF | F_SF

        ; 0x8000 - 1 = 0x7FFF: OF = (a^b)&(a^r)&0x8000
        mov ax, 0x8000
        mov bx, 1
        SETF 0
        sub ax, bx
        EXPECT "SUB r/m16,r16 overflow", ax, 0x7FFF, F_PF | F_AF | F_OF

        mov word [MEM], 0x0005
        mov cx, 0x0005
        SETF F_CF
        sub cx, [MEM]
        EXPECT "SUB r16,m16 zero", cx, 0x0000, F_PF | F_ZF

        ; 0x1000 - 1 = 0x0FFF: aux borrow only
        mov ax, 0x1000
        SETF 0
        db 0x2D
        dw 0x0001                       ; SUB AX, 1
        EXPECT "SUB AX,imm16", ax, 0x0FFF, F_PF | F_AF

        ; 0x80 - 1 = 0x7F: overflow, aux, parity of 0x7F odd
        mov word [MEM], 0x0080
        SETF 0
        sub byte [MEM], 1
        EXPECT "SUB m8,imm8 overflow", word [MEM], 0x007F, F_AF | F_OF

        mov ax, 0x0010
        SETF F_ARITH
        cmp al, 0x10
        EXPECT "CMP AL,imm8 equal", ax, 0x0010, F_PF | F_ZF

        ; 1 - 2 = -1
        mov word [MEM], 0x0002
        mov bx, 0x0001
        SETF 0
        cmp bl, [MEM]
        EXPECT "CMP r8,m8 below", bx, 0x0001, F_CF | F_PF | F_AF | F_SF
        CHECK_JUMP "JB after 1 cmp 2", jb, 1
        CHECK_JUMP "JA after 1 cmp 2", ja, 0
        CHECK_JUMP "JL after 1 cmp 2", jl, 1

        ; -32768 - 1 overflows: SF = 0, OF = 1
        mov ax, 0x8000
        mov bx, 1
        SETF 0
        cmp ax, bx
        EXPECT "CMP r/m16,r16 signed", ax, 0x8000, F_PF | F_AF | F_OF
        CHECK_JUMP "JL after -32768 cmp 1", jl, 1
        CHECK_JUMP "JGE after -32768 cmp 1", jge, 0
        CHECK_JUMP "JLE after -32768 cmp 1", jle, 1
        CHECK_JUMP "JG after -32768 cmp 1", jg, 0

        mov word [MEM], 0xFFFF
        SETF F_CF
        db 0x83, 0x3E
        dw MEM
        db 0xFF                         ; CMP word [MEM], -1
        EXPECT "CMP m16,imm8 sign-extended", word [MEM], 0xFFFF, F_PF | F_ZF

        mov dx, 0x0001
        mov word [MEM], 0x0002
        SETF 0
        cmp dx, [MEM]
        EXPECT "CMP r16,m16 below", dx, 0x0001, F_CF | F_PF | F_AF | F_SF

        ; 0x7FFF - 0xFFFF: r = -0x8000, borrow and overflow, low byte 0
        mov ax, 0x7FFF
        SETF 0
        db 0x3D
        dw 0xFFFF                       ; CMP AX, 0xFFFF
        EXPECT "CMP AX,imm16 overflow", ax, 0x7FFF, F_CF | F_PF | F_SF | F_OF
        CHECK_JUMP "JG after 32767 cmp -1", jg, 1
        CHECK_JUMP "JA after 32767 cmp -1", ja, 0
        ret

carry_family:
        ; ADC AL, 0x0F with CF: source 0x10, aux = (0^0x10^0x10) & 0x10 = 0
        mov ax, 0x0000
        SETF F_CF
        adc al, 0x0F
        EXPECT "ADC AL,0x0F folds CF", ax, 0x0010, 0

        ; ADC AL, 0xFF with CF: source 0x100, r = 0x101
        mov ax, 0x0001
        SETF F_CF
        adc al, 0xFF
        EXPECT "ADC AL,0xFF folds CF", ax, 0x0001, F_CF

        ; ADC AL, 0x7F with CF: source 0x80, overflow (0^0x80)&(0x80^0x80) = 0
        mov ax, 0x0000
        SETF F_CF
        adc al, 0x7F
        EXPECT "ADC AL,0x7F folds CF", ax, 0x0080, F_SF

        ; 0xFFFF + 0xFFFF + CF: source 0x10000, r = 0x1FFFF
        mov ax, 0xFFFF
        mov bx, 0xFFFF
        SETF F_CF
        adc ax, bx
        EXPECT "ADC r/m16,r16 folds CF", ax, 0xFFFF, F_CF | F_PF | F_SF

        mov ax, 0x000F
        SETF 0
        adc al, 1
        EXPECT "ADC without carry", ax, 0x0010, F_AF

        ; 0x7FFF + 1 + CF: source 2, r = 0x8001
        mov word [MEM], 0x7FFF
        SETF F_CF
        db 0x81, 0x16
        dw MEM, 0x0001                  ; ADC word [MEM], 1
        EXPECT "ADC m16,imm16", word [MEM], 0x8001, F_AF | F_SF | F_OF

        ; 0xFE + 1 + CF: source 2, r = 0x100
        mov word [MEM], 0x0001
        mov cx, 0x00FE
        SETF F_CF
        adc cl, [MEM]
        EXPECT "ADC r8,m8", cx, 0x0000, F_CF | F_PF | F_AF | F_ZF

        mov ax, 0x00FF
        SETF F_CF
        db 0x15
        dw 0x0000                       ; ADC AX, 0
        EXPECT "ADC AX,imm16", ax, 0x0100, F_PF | F_AF

        mov ax, 0
        SETF F_CF
        sbb ax, 0
        EXPECT "SBB AX,0 with CF", ax, 0xFFFF, F_CF | F_PF | F_AF | F_SF

        ; SBB AL, 0xFF with CF: source 0x100, r = -0x100: CF, low byte 0
        mov ax, 0x0000
        SETF F_CF
        sbb al, 0xFF
        EXPECT "SBB AL,0xFF folds CF", ax, 0x0000, F_CF | F_PF | F_ZF

        ; SBB AL, 0x0F with CF: source 0x10, r = 0, no aux borrow
        mov ax, 0x0010
        SETF F_CF
        sbb al, 0x0F
        EXPECT "SBB AL,0x0F folds CF", ax, 0x0000, F_PF | F_ZF

        mov word [MEM], 0x8000
        xor ax, ax
        SETF F_CF
        sbb [MEM], ax
        EXPECT "SBB m16,r16 with CF", word [MEM], 0x7FFF, F_PF | F_AF | F_OF

        mov word [MEM], 0x0001
        mov dx, 0x0001
        SETF 0
        sbb dl, [MEM]
        EXPECT "SBB r8,m8 without CF", dx, 0x0000, F_PF | F_ZF

        ; 0 - (0x7FFF + CF) = -0x8000: borrow and overflow
        mov ax, 0x0000
        SETF F_CF
        db 0x1D
        dw 0x7FFF                       ; SBB AX, 0x7FFF
        EXPECT "SBB AX,imm16 folds CF", ax, 0x8000, F_CF | F_PF | F_SF | F_OF
        ret

inc_dec:
        mov ax, 0x007F
        SETF F_CF
        inc al
        EXPECT "INC r8 0x7F keeps CF", ax, 0x0080, F_CF | F_AF | F_SF | F_OF

        mov ax, 0xFFFF
        SETF F_CF
        inc ax
        EXPECT "INC AX 0xFFFF keeps CF", ax, 0x0000, F_CF | F_PF | F_AF | F_ZF

        mov bx, 0x0080
        SETF 0
        dec bl
        EXPECT "DEC r8 0x80", bx, 0x007F, F_AF | F_OF

        mov cx, 0
        SETF F_CF
        dec cx
        EXPECT "DEC CX 0 keeps CF", cx, 0xFFFF, F_CF | F_PF | F_AF | F_SF

        mov word [MEM], 0x8000
        SETF 0
        dec word [MEM]
        EXPECT "DEC m16 0x8000", word [MEM], 0x7FFF, F_PF | F_AF | F_OF

        mov word [MEM], 0x7FFF
        SETF 0
        inc word [MEM]
        EXPECT "INC m16 0x7FFF", word [MEM], 0x8000, F_PF | F_AF | F_SF | F_OF

        mov word [MEM], 0x00FF
        SETF F_CF
        inc byte [MEM]
        EXPECT "INC m8 0xFF", word [MEM], 0x0000, F_CF | F_PF | F_AF | F_ZF

        ; aux = (a ^ r ^ 1) & 0x10: 0x0E ^ 0x0F ^ 1 = 0
        mov ax, 0x000E
        SETF F_AF
        inc al
        EXPECT "INC r8 no aux", ax, 0x000F, F_PF

        ; 0x10 ^ 0x0F ^ 1 = 0x1E
        mov ax, 0x0010
        SETF 0
        dec al
        EXPECT "DEC r8 aux", ax, 0x000F, F_PF | F_AF
        ret

neg_not_test:
        mov ax, 0x0080
        SETF F_AF | F_OF
        neg al
        EXPECT "NEG 0x80 keeps AF OF", ax, 0x0080, F_CF | F_AF | F_SF | F_OF

        mov ax, 0x0001
        SETF 0
        neg al
        EXPECT "NEG r8 1", ax, 0x00FF, F_CF | F_PF | F_SF

        mov ax, 0x0000
        SETF F_CF | F_AF
        neg al
        EXPECT "NEG 0 clears CF", ax, 0x0000, F_PF | F_AF | F_ZF

        mov word [MEM], 0x0001
        SETF 0
        neg word [MEM]
        EXPECT "NEG m16", word [MEM], 0xFFFF, F_CF | F_PF | F_SF

        mov ax, 0x0F0F
        SETF F_ARITH
        not ax
        EXPECT "NOT r16 keeps flags", ax, 0xF0F0, F_ARITH

        mov word [MEM], 0x1200
        SETF 0
        not byte [MEM]
        EXPECT "NOT m8", word [MEM], 0x12FF, 0

        mov ax, 0x0081
        SETF F_CF | F_OF | F_AF
        test al, 0x80
        EXPECT "TEST AL,imm8", ax, 0x0081, F_SF

        mov word [MEM], 0x00FF
        mov bx, 0xFF00
        SETF 0
        test [MEM], bx
        EXPECT "TEST m16,r16", word [MEM], 0x00FF, F_PF | F_ZF

        mov word [MEM], 0x0003
        SETF F_CF | F_ZF
        test byte [MEM], 0x02
        EXPECT "TEST m8,imm8 (F6)", word [MEM], 0x0003, 0

        mov ax, 0x8001
        SETF 0
        db 0xA9
        dw 0x8000                       ; TEST AX, 0x8000
        EXPECT "TEST AX,imm16", ax, 0x8001, F_PF | F_SF

        mov cx, 0x1234
        SETF 0
        test cx, 0x1000
        EXPECT "TEST r16,imm16 (F7)", cx, 0x1234, F_PF

        mov ax, 0xF00F
        SETF 0
        test al, ah
        EXPECT "TEST r8,r8", ax, 0xF00F, F_PF | F_ZF
        ret

conversions:
        mov ax, 0x1280
        SETF F_ARITH
        cbw
        EXPECT "CBW negative", ax, 0xFF80, F_ARITH

        mov ax, 0xFF7F
        SETF 0
        cbw
        EXPECT "CBW positive", ax, 0x007F, 0

        mov ax, 0x8000
        mov dx, 0
        cwd
        CHECK "CWD negative", dx, 0xFFFF

        mov ax, 0x7FFF
        mov dx, 0x1234
        cwd
        CHECK "CWD positive", dx, 0x0000
        ret

flag_instructions:
        SETF 0xFFFF
        CHECK_FLAGS "flags word of all ones", 0x0FD5
        SETF 0
        CHECK_FLAGS "flags word of zero", 0x0000

        mov ax, 0
        SETF F_ARITH
        lahf
        EXPECT "LAHF all", ax, 0xD500, F_ARITH

        mov ax, 0xFFFF
        SETF F_OF
        lahf
        EXPECT "LAHF none", ax, 0x00FF, F_OF

        mov ax, 0xFF00
        SETF F_OF
        sahf
        EXPECT "SAHF sets", ax, 0xFF00, F_ARITH

        mov ax, 0x2A00                  ; only bits 1, 3, 5
        SETF F_ARITH
        sahf
        EXPECT "SAHF clears", ax, 0x2A00, F_OF

        mov ax, 0x1200
        SETF F_CF
        db 0xD6                         ; SALC
        EXPECT "SALC with CF", ax, 0x12FF, F_CF

        mov ax, 0x12AA
        SETF F_ZF
        db 0xD6
        EXPECT "SALC without CF", ax, 0x1200, F_ZF

        SETF F_ZF | F_SF
        CHECK_FLAGS "ZF and SF together", F_ZF | F_SF
        CHECK_JUMP "JZ with ZF and SF", jz, 1
        CHECK_JUMP "JS with ZF and SF", js, 1

        SETF 0
        stc
        CHECK_FLAGS "STC", F_CF
        cmc
        CHECK_FLAGS "CMC of CF", 0
        cmc
        stc
        clc
        CHECK_FLAGS "CLC", 0
        std
        CHECK_FLAGS "STD", F_DF
        cld
        sti
        CHECK_FLAGS "STI", F_IF
        cli
        CHECK_FLAGS "CLI", 0
        ret

; DX = one bit per conditional jump 0x70-0x7F, set when it is taken with the
; flags word %1.
%macro JUMP_MASK 1
        xor dx, dx
  %assign j 0
  %rep 16
        SETF %1
        db 0x70 + j, 0x02               ; taken: on to the OR
        db 0xEB, 0x04                   ; not taken: over the OR
        db 0x81, 0xCA
        dw 1 << j                       ; OR DX, 1 << j
    %assign j j + 1
  %endrep
%endmacro

; Bits: 0 JO, 1 JNO, 2 JB, 3 JNB, 4 JZ, 5 JNZ, 6 JBE, 7 JA, 8 JS, 9 JNS,
; 10 JP, 11 JNP, 12 JL, 13 JGE, 14 JLE, 15 JG.
conditional_jumps:
        JUMP_MASK 0
        CHECK "Jcc with no flags", dx, 0xAAAA
        JUMP_MASK F_OF | F_ZF | F_SF    ; SF = OF: JL no, JGE and JLE yes
        CHECK "Jcc with OF ZF SF", dx, 0x6959
        JUMP_MASK F_OF | F_ZF           ; SF != OF but ZF: JL no, JGE yes
        CHECK "Jcc with OF ZF", dx, 0x6A59
        JUMP_MASK F_OF                  ; SF != OF, ZF clear: JL and JLE
        CHECK "Jcc with OF", dx, 0x5AA9
        JUMP_MASK F_SF | F_PF | F_CF
        CHECK "Jcc with SF PF CF", dx, 0x5566
        JUMP_MASK F_ZF | F_CF
        CHECK "Jcc with ZF CF", dx, 0x6A56
        ret

        SUITE_TABLES
        CARTRIDGE_FOOTER 0xF000, start, 0x00, 0, 0x00, 0, 1, 0x00, 0
