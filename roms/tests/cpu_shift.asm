; The shift and rotate groups by 1 (0xD0, 0xD1), by CL (0xD2, 0xD3) and by an
; immediate (0xC0, 0xC1). The machine's rules: rotates never touch SF, ZF, PF
; or AF; the by-1 forms set OF, the by-count forms leave it (rotates change
; only CF); SHL/SHR set AF; SAR by 1 sets AF in its word form only; counts are
; masked to 5 bits and a count of 0 changes nothing; reg field 6 does nothing.
        bits 16
        cpu 186
%include "suite.inc"

MEM     equ SUITE_SCRATCH
KEEP    equ F_ZF | F_SF | F_PF | F_AF   ; flags a rotate must leave alone

        org 0
start:
        SUITE_START
        call by_one
        call by_count
        SUITE_DONE

by_one:
        ; ROL: CF = top, OF = top ^ next (1 ^ 0)
        mov ax, 0x0081
        SETF KEEP
        rol al, 1
        EXPECT "ROL r8,1", ax, 0x0003, KEEP | F_CF | F_OF

        mov ax, 0x4000
        SETF 0
        rol ax, 1
        EXPECT "ROL r16,1 overflow", ax, 0x8000, F_OF

        ; ROR: CF = bit 0, OF = old top ^ new top
        mov ax, 0x0001
        SETF 0
        ror al, 1
        EXPECT "ROR r8,1", ax, 0x0080, F_CF | F_OF

        mov word [MEM], 0x0002
        SETF F_CF | F_OF
        ror word [MEM], 1
        EXPECT "ROR m16,1", word [MEM], 0x0001, 0

        ; RCL: CF into bit 0, CF = top, OF = top ^ next (0 ^ 1)
        mov ax, 0x0040
        SETF F_CF
        rcl al, 1
        EXPECT "RCL r8,1", ax, 0x0081, F_OF

        mov ax, 0x8000
        SETF KEEP
        rcl ax, 1
        EXPECT "RCL r16,1", ax, 0x0000, KEEP | F_CF | F_OF

        ; RCR: CF into the top, CF = bit 0, OF = top ^ old CF
        mov ax, 0x0001
        SETF F_CF
        rcr al, 1
        EXPECT "RCR r8,1", ax, 0x0080, F_CF | F_OF

        mov ax, 0x8000
        SETF F_CF | F_OF
        rcr ax, 1
        EXPECT "RCR r16,1 top equals CF", ax, 0xC000, 0

        ; SHL 0x40: OF = top ^ next; AF set; parity of 0x80 odd
        mov ax, 0x0040
        SETF 0
        shl al, 1
        EXPECT "SHL r8,1", ax, 0x0080, F_AF | F_SF | F_OF

        mov ax, 0x8001
        SETF 0
        shl ax, 1
        EXPECT "SHL r16,1 carry", ax, 0x0002, F_CF | F_AF | F_OF

        ; SHR: CF = bit 0, OF = top
        mov ax, 0x0081
        SETF 0
        shr al, 1
        EXPECT "SHR r8,1", ax, 0x0040, F_CF | F_AF | F_OF

        mov word [MEM], 0x0001
        SETF 0
        shr word [MEM], 1
        EXPECT "SHR m16,1 to zero", word [MEM], 0x0000, F_CF | F_PF | F_AF | F_ZF

        ; SAR byte by 1 leaves AF (set before), clears OF
        mov ax, 0x0081
        SETF F_AF | F_OF
        sar al, 1
        EXPECT "SAR r8,1 keeps AF", ax, 0x00C0, F_CF | F_PF | F_AF | F_SF

        mov ax, 0x8002
        SETF 0
        sar ax, 1
        EXPECT "SAR r16,1 sets AF", ax, 0xC001, F_AF | F_SF

        mov ax, 0x0081
        SETF F_ARITH
        db 0xD0, 0xF0                   ; group 0xD0, reg field 6, AL
        EXPECT "D0 reg 6 does nothing", ax, 0x0081, F_ARITH

        mov word [MEM], 0x1234
        SETF 0
        db 0xD1, 0x36
        dw MEM                          ; group 0xD1, reg field 6, [MEM]
        EXPECT "D1 reg 6 does nothing", word [MEM], 0x1234, 0
        ret

by_count:
        ; 0x81 rotated left 3 times: 0x03 (CF 1), 0x06 (CF 0), 0x0C (CF 0)
        mov ax, 0x0081
        mov cx, 3
        SETF F_OF | F_CF
        rol al, cl
        EXPECT "ROL r8,CL 3 keeps OF", ax, 0x000C, F_OF

        mov ax, 0x0081
        mov cx, 0x23                    ; masked to 3
        SETF KEEP
        rol al, cl
        EXPECT "ROL r8,CL 0x23 masked", ax, 0x000C, KEEP

        ; the fourth bit out of 0x1234 is bit 3: 0
        mov ax, 0x1234
        mov cx, 4
        SETF F_CF
        ror ax, cl
        EXPECT "ROR r16,CL 4", ax, 0x4123, 0

        ; 0x80 with CF 0 through carry twice: 0x00 (CF 1), then 0x01 (CF 0)
        mov ax, 0x0080
        SETF F_OF
        rcl al, 2
        EXPECT "RCL r8,imm 2", ax, 0x0001, F_OF

        ; by count 1 (0x21 masked) the rotate leaves OF, unlike 0xD1
        mov ax, 0x0001
        mov cx, 0x21
        SETF 0
        rcr ax, cl
        EXPECT "RCR r16,CL 0x21 leaves OF", ax, 0x0000, F_CF

        ; 17 steps through a 17-bit ring come back to the start
        mov ax, 0x1234
        mov cx, 17
        SETF F_CF
        rcr ax, cl
        EXPECT "RCR r16,CL 17", ax, 0x1234, F_CF

        ; 0xC1 by 1 leaves OF, 0xD1 sets it to top ^ next
        mov word [MEM], 0x8001
        SETF 0
        db 0xC1, 0x06
        dw MEM
        db 1                            ; ROL word [MEM], imm 1
        EXPECT "ROL m16,imm 1 leaves OF", word [MEM], 0x0003, F_CF
        mov word [MEM], 0x8001
        SETF 0
        rol word [MEM], 1
        EXPECT "ROL m16,1 sets OF", word [MEM], 0x0003, F_CF | F_OF

        ; the last of 8 bits out of 0x96 is its top bit
        mov ax, 0x0096
        SETF 0
        ror al, 8
        EXPECT "ROR r8,imm 8", ax, 0x0096, F_CF

        mov ax, 0x0040
        mov cx, 0x21                    ; masked to 1
        SETF 0
        shl al, cl
        EXPECT "SHL r8,CL 0x21 by one", ax, 0x0080, F_AF | F_SF

        mov ax, 0x0040
        mov cx, 0x20                    ; masked to 0
        SETF F_CF | F_ZF
        shl al, cl
        EXPECT "SHL r8,CL 0x20 does nothing", ax, 0x0040, F_CF | F_ZF

        ; CF = bit 8 of the shifted value: 0x100 gives 1, 0x200 gives 0
        mov ax, 0x0001
        mov cx, 8
        SETF 0
        shl al, cl
        EXPECT "SHL r8,CL 8", ax, 0x0000, F_CF | F_PF | F_AF | F_ZF

        mov ax, 0x0001
        mov cx, 9
        SETF F_CF
        shl al, cl
        EXPECT "SHL r8,CL 9", ax, 0x0000, F_PF | F_AF | F_ZF

        mov ax, 0x0001
        mov cx, 16                      ; all 16 bits out: CF = bit 16 = 1
        SETF 0
        shl ax, cl
        EXPECT "SHL r16,CL 16", ax, 0x0000, F_CF | F_PF | F_AF | F_ZF

        ; 0x12340: CF = bit 16
        mov ax, 0x1234
        SETF F_OF
        shl ax, 4
        EXPECT "SHL r16,imm 4 keeps OF", ax, 0x2340, F_CF | F_AF | F_OF

        ; t = 0x8421 >> 3 = 0x1084: CF = 0, result 0x0842
        mov ax, 0x8421
        mov cx, 4
        SETF F_OF | F_CF
        shr ax, cl
        EXPECT "SHR r16,CL 4", ax, 0x0842, F_PF | F_AF | F_OF

        mov ax, 0x0080
        SETF 0
        shr al, 8
        EXPECT "SHR r8,imm 8", ax, 0x0000, F_CF | F_PF | F_AF | F_ZF

        ; -123 >> 2 = -31 (CF 1), >> 1 = -16: AF and OF left alone
        mov ax, 0x0085
        mov cx, 3
        SETF F_AF | F_OF
        sar al, cl
        EXPECT "SAR r8,CL 3", ax, 0x00F0, F_CF | F_PF | F_AF | F_SF | F_OF

        ; -32768 >> 14 = -2 (CF 0), >> 1 = -1
        mov ax, 0x8000
        SETF 0
        sar ax, 15
        EXPECT "SAR r16,imm 15", ax, 0xFFFF, F_PF | F_SF

        mov ax, 0x0040
        mov cx, 9
        SETF F_CF
        sar al, cl
        EXPECT "SAR r8,CL 9 positive", ax, 0x0000, F_PF | F_ZF

        mov word [MEM], 0x0080
        mov cx, 0x1F
        SETF 0
        sar byte [MEM], cl
        EXPECT "SAR m8,CL 31", word [MEM], 0x00FF, F_CF | F_PF | F_SF

        ; 0x30004: CF = bit 16
        mov word [MEM], 0xC001
        mov cx, 2
        SETF 0
        shl word [MEM], cl
        EXPECT "SHL m16,CL 2", word [MEM], 0x0004, F_CF | F_AF

        mov ax, 0x0081
        mov cx, 3
        SETF F_ARITH
        db 0xD2, 0xF0                   ; group 0xD2, reg field 6, AL
        EXPECT "D2 reg 6 does nothing", ax, 0x0081, F_ARITH

        mov ax, 0x0081
        SETF F_CF | F_OF
        db 0xC0, 0xE0, 0x00             ; SHL AL, 0
        EXPECT "SHL r8,imm 0 does nothing", ax, 0x0081, F_CF | F_OF
        ret

        SUITE_TABLES
        CARTRIDGE_FOOTER 0xF000, start, 0x00, 0, 0x00, 0, 1, 0x00, 0
