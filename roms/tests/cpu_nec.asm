; NEC's extended instructions behind the prefix 0x0F: TEST1, CLR1, SET1, NOT1
; on registers and memory with the bit number in CL or an immediate (masked to
; 3 or 4 bits), the packed-BCD strings ADD4S, SUB4S, CMP4S, the nibble
; rotates ROL4 and ROR4, and the second bytes that do nothing. TEST1 sets ZF
; and clears CF and OF only; the others leave every flag alone. NASM does not
; know these instructions: they are written out as bytes.
        bits 16
        cpu 186
%include "suite.inc"

MEM     equ SUITE_SCRATCH
SRC     equ SUITE_SCRATCH + 0x10        ; DS:SI of the BCD strings
DST     equ SUITE_SCRATCH + 0x20        ; ES:DI

%define TEST1_CL_B      0x0F, 0x10
%define TEST1_CL_W      0x0F, 0x11
%define CLR1_CL_B       0x0F, 0x12
%define CLR1_CL_W       0x0F, 0x13
%define SET1_CL_B       0x0F, 0x14
%define SET1_CL_W       0x0F, 0x15
%define NOT1_CL_B       0x0F, 0x16
%define NOT1_CL_W       0x0F, 0x17
%define TEST1_B         0x0F, 0x18
%define TEST1_W         0x0F, 0x19
%define CLR1_B          0x0F, 0x1A
%define CLR1_W          0x0F, 0x1B
%define SET1_B          0x0F, 0x1C
%define SET1_W          0x0F, 0x1D
%define NOT1_B          0x0F, 0x1E
%define NOT1_W          0x0F, 0x1F
%define ADD4S           0x0F, 0x20
%define SUB4S           0x0F, 0x22
%define CMP4S           0x0F, 0x26
%define ROL4            0x0F, 0x28
%define ROR4            0x0F, 0x2A

; BCD string operands: %1 bytes at SRC, %2 bytes at DST (words, low first).
%macro BCD 2
        mov word [SRC], %1
        mov word [DST], %2
        mov si, SRC
        mov di, DST
%endmacro

        org 0
start:
        SUITE_START
        call bit_tests
        call bit_changes
        call bcd_strings
        call nibble_rotates
        call empty_forms
        SUITE_DONE

bit_tests:
        mov ax, 0x0004
        mov cx, 2
        SETF F_ARITH
        db TEST1_CL_B, 0xC0             ; AL, bit 2
        EXPECT "TEST1 r8,CL set bit", ax, 0x0004, F_SF | F_PF | F_AF

        mov cx, 10                      ; bit 10 & 7 = 2
        SETF F_ARITH
        db TEST1_CL_B, 0xC0
        CHECK_FLAGS "TEST1 r8,CL masks CL to 3 bits", F_SF | F_PF | F_AF

        mov cx, 3
        SETF 0
        db TEST1_CL_B, 0xC0
        CHECK_FLAGS "TEST1 r8,CL clear bit", F_ZF

        mov bx, 0x1000
        mov cx, 0x1C                    ; & 15 = 12
        SETF F_ZF | F_CF
        db TEST1_CL_W, 0xC3             ; BX
        CHECK_FLAGS "TEST1 r16,CL masks CL to 4 bits", 0

        mov word [MEM], 0x0080
        SETF F_OF | F_ZF
        db TEST1_B, 0x06
        dw MEM
        db 7                            ; [MEM], bit 7
        CHECK_FLAGS "TEST1 m8,imm8", 0

        mov word [MEM], 0x7FFF
        SETF 0
        db TEST1_W, 0x06
        dw MEM
        db 0x1F                         ; bit 15
        CHECK_FLAGS "TEST1 m16,imm8 masks to 4 bits", F_ZF
        ret

bit_changes:
        mov ax, 0x00FF
        mov cx, 3
        SETF F_ARITH
        db CLR1_CL_B, 0xC0
        EXPECT "CLR1 r8,CL", ax, 0x00F7, F_ARITH

        mov dx, 0xFFFF
        mov cx, 15
        SETF 0
        db CLR1_CL_W, 0xC2              ; DX
        EXPECT "CLR1 r16,CL", dx, 0x7FFF, 0

        mov bx, 0
        mov cx, 7
        SETF F_ARITH
        db SET1_CL_B, 0xC3              ; BL
        EXPECT "SET1 r8,CL", bx, 0x0080, F_ARITH

        mov word [MEM], 0
        mov cx, 9
        SETF 0
        db SET1_CL_W, 0x06
        dw MEM
        EXPECT "SET1 m16,CL", word [MEM], 0x0200, 0

        mov ax, 0x000F
        mov cx, 0
        db NOT1_CL_B, 0xC0
        CHECK "NOT1 r8,CL clears", ax, 0x000E
        db NOT1_CL_B, 0xC0
        CHECK "NOT1 r8,CL sets", ax, 0x000F

        mov word [MEM], 0
        mov cx, 0x11                    ; & 15 = 1
        SETF F_ZF
        db NOT1_CL_W, 0x06
        dw MEM
        EXPECT "NOT1 m16,CL", word [MEM], 0x0002, F_ZF

        mov word [MEM], 0x12FF
        SETF F_ARITH
        db CLR1_B, 0x06
        dw MEM
        db 9                            ; & 7 = 1
        EXPECT "CLR1 m8,imm8", word [MEM], 0x12FD, F_ARITH

        mov ax, 0xFFFF
        db CLR1_W, 0xC0, 15
        CHECK "CLR1 r16,imm8", ax, 0x7FFF

        mov word [MEM], 0
        mov bx, MEM - 1
        db SET1_B, 0x47, 0x01, 4        ; [BX+1], bit 4: the immediate follows
        CHECK "SET1 m8,imm8 after a displacement", word [MEM], 0x0010

        mov si, 0
        db SET1_W, 0xC6, 8              ; SI
        CHECK "SET1 r16,imm8", si, 0x0100

        mov ax, 0
        db NOT1_B, 0xC4, 0x0F           ; AH, bit 15 & 7 = 7
        CHECK "NOT1 r8,imm8 on AH", ax, 0x8000

        mov bx, 0
        SETF F_CF
        db NOT1_W, 0xC3, 0x13           ; BX, bit 0x13 & 15 = 3
        EXPECT "NOT1 r16,imm8 masks to 4 bits", bx, 0x0008, F_CF
        ret

bcd_strings:
        ; 0001 + 0099 = 0100 (bytes low first: 01 00 + 99 00 = 00 01)
        BCD 0x0099, 0x0001
        mov cx, 4
        SETF F_CF | F_ZF | F_SF
        db ADD4S
        EXPECT "ADD4S 1 + 99", word [DST], 0x0100, F_SF
        CHECK "ADD4S leaves SI", si, SRC
        CHECK "ADD4S leaves DI", di, DST
        CHECK "ADD4S leaves CL", cx, 4

        BCD 0x0011, 0x0022
        mov cx, 0
        SETF F_CF
        db ADD4S
        EXPECT "ADD4S with CL 0", word [DST], 0x0022, F_ZF

        BCD 0x0050, 0x1150              ; one byte: 50 + 50 = 100
        mov cx, 2
        SETF 0
        db ADD4S
        EXPECT "ADD4S carries out", word [DST], 0x1100, F_CF | F_ZF

        BCD 0x000A, 0x0005              ; 0x0A counts 10
        mov cx, 1                       ; (1 + 1) >> 1 = one byte
        SETF 0
        db ADD4S
        EXPECT "ADD4S takes nibbles above 9", word [DST], 0x0015, 0

        BCD 0x0001, 0x9999              ; CL 3: two bytes
        mov cx, 3
        SETF 0
        db ADD4S
        EXPECT "ADD4S CL 3 takes two bytes", word [DST], 0x0000, F_CF | F_ZF

        BCD 0x0007, 0x0003
        mov ax, 0x0100
        mov es, ax
        mov word [0x1000 + SRC], 0x0002
        mov word [0x1000 + DST], 0x0003
        mov cx, 2
        db 0x26, ADD4S                  ; ES: source
        mov ax, [es:DST]
        xor bx, bx
        mov es, bx
        CHECK "ES: ADD4S source from ES", ax, 0x0005

        BCD 0x0001, 0x0000
        mov cx, 2
        SETF 0
        db SUB4S
        EXPECT "SUB4S 0 - 1", word [DST], 0x0099, F_CF

        BCD 0x0001, 0x0100              ; 0100 - 0001 = 0099
        mov cx, 4
        SETF 0
        db SUB4S
        EXPECT "SUB4S borrows across bytes", word [DST], 0x0099, 0

        BCD 0x3412, 0x3412
        mov cx, 4
        SETF F_CF
        db CMP4S
        EXPECT "CMP4S equal", word [DST], 0x3412, F_ZF

        BCD 0x0020, 0x0010
        mov cx, 2
        SETF F_ZF
        db CMP4S
        EXPECT "CMP4S below", word [DST], 0x0010, F_CF
        ret

nibble_rotates:
        mov ax, 0x00AB
        mov bx, 0x0012
        SETF F_ARITH
        db ROL4, 0xC3                   ; BL
        EXPECT "ROL4 r8 AL", ax, 0x00A1, F_ARITH
        CHECK "ROL4 r8 operand", bx, 0x002B

        mov ax, 0x00AB
        mov word [MEM], 0x5512
        SETF 0
        db ROL4, 0x06
        dw MEM
        EXPECT "ROL4 m8 AL", ax, 0x00A1, 0
        CHECK "ROL4 m8 operand", word [MEM], 0x552B

        mov ax, 0x00AB
        mov bx, 0x0012
        db ROR4, 0xC3
        CHECK "ROR4 r8 AL", ax, 0x00A2
        CHECK "ROR4 r8 operand", bx, 0x00B1

        mov ax, 0x00AB
        mov word [MEM], 0x5512
        SETF F_ARITH
        db ROR4, 0x06
        dw MEM
        EXPECT "ROR4 m8 AL", ax, 0x00A2, F_ARITH
        CHECK "ROR4 m8 operand", word [MEM], 0x55B1
        ret

; Each "inc ax" that is not swallowed counts.
empty_forms:
        mov ax, 0
        SETF F_CF
        db 0x0F, 0x31, 0x40             ; takes one more byte: the INC
        db 0x0F, 0x33, 0x40
        db 0x0F, 0xE0, 0x40
        db 0x0F, 0xF0, 0x40
        db 0x0F, 0xFF, 0x40
        EXPECT "0F 31 33 E0 F0 FF take three bytes", ax, 0, F_CF
        db 0x0F, 0x92                   ; two bytes
        inc ax
        db 0x0F, 0x40
        inc ax
        db 0x0F, 0x21
        inc ax
        CHECK "other second bytes take two bytes", ax, 3
        ret

        SUITE_TABLES
        CARTRIDGE_FOOTER 0xF000, start, 0x00, 0, 0x00, 0, 1, 0x00, 0
