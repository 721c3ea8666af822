; Data movement: MOV forms and their default segments, segment overrides,
; words that cross the end of a segment, XCHG, LEA, LES/LDS, XLAT, the stack
; instructions with PUSHA/POPA and ENTER/LEAVE, segment registers, and port
; input and output. The machine's rules checked here: a word at offset 0xFFFF
; takes its high byte from the next 64 KB of linear space, except for the
; direct-address MOV forms (and the second word of LES/LDS), which wrap inside
; the segment or the 64 KB; PUSH SP pushes the decremented SP, PUSH r/m16 the
; old one; POP SP adds 2 to the popped value; ENTER copies the display words
; from just below the new frame pointer.
        bits 16
        cpu 186
%include "suite.inc"

MEM     equ SUITE_SCRATCH
SAVED   equ SUITE_SCRATCH + 0x1F0       ; the harness's SP while a check moves it

        org 0
start:
        SUITE_START
        call direct_address
        call default_segments
        call exchange_and_addresses
        call stack_ops
        call push_all
        call enter_leave
        call segment_registers
        call ports
        call fetch_wrap
        SUITE_DONE

direct_address:
        mov byte [0xFFFF], 0x34
        mov byte [0x0000], 0x12
        mov ax, [0xFFFF]                ; 0xA1: high byte at offset 0
        CHECK "MOV AX,[moffs] wraps in the segment", ax, 0x1234
        db 0x8B, 0x06
        dw 0xFFFF                       ; MOV AX, [0xFFFF] through ModRM
        CHECK "MOV AX,[disp16] crosses into the next 64 KB", ax, 0xFF34

        mov ax, 0xBEEF
        mov [0xFFFF], ax                ; 0xA3
        CHECK_MASKED "MOV [moffs],AX low byte at 0xFFFF", word [0xFFFE], 0xEF00, 0xFF00
        CHECK_MASKED "MOV [moffs],AX high byte at offset 0", word [0x0000], 0x00BE, 0x00FF

        mov ax, 0x0100
        mov es, ax
        mov byte [0x0010], 0xA5
        mov byte [0x1010], 0x5A
        mov ax, 0
        mov al, [es:0x0010]             ; 0x26 0xA0
        CHECK "MOV AL,ES:[moffs]", ax, 0x005A
        mov ax, 0
        mov al, [0x0010]
        CHECK "MOV AL,[moffs] from DS", ax, 0x00A5
        xor ax, ax
        mov es, ax
        ret

default_segments:
        ; ES:, CS:, MOV AX,[BX]: the last prefix wins
        mov bx, rom_word
        db 0x26, 0x2E, 0x8B, 0x07
        CHECK "last segment prefix wins", ax, 0xBEEF

        mov word [MEM + 2], 0x1111      ; SS:BP+2 with SS = 0
        mov word [0x1000 + MEM + 2], 0x2222
        mov ax, 0x0100
        mov ds, ax                      ; DS base 0x1000
        mov bp, MEM
        mov ax, [bp + 2]
        mov cx, [ds:bp + 2]             ; 0x3E prefix
        mov si, 2
        mov dx, [bp + si]               ; BP+SI: SS
        mov bx, MEM
        mov di, [bx + si]               ; BX+SI: DS
        push word 0
        pop ds
        CHECK "MOV [BP+d8] uses SS", ax, 0x1111
        CHECK "DS:[BP+d8] uses DS", cx, 0x2222
        CHECK "MOV [BP+SI] uses SS", dx, 0x1111
        CHECK "MOV [BX+SI] uses DS", di, 0x2222

        mov bx, MEM
        mov byte [bx + 5], 0x99         ; 0xC6 with a displacement
        mov word [bx + 6], 0x8877       ; 0xC7
        CHECK "MOV r/m8,imm8 after a displacement", word [MEM + 4], 0x9900
        CHECK "MOV r/m16,imm16 after a displacement", word [MEM + 6], 0x8877
        ret

exchange_and_addresses:
        mov ax, 1
        mov bx, 2
        xchg ax, bx
        CHECK "XCHG AX,BX", ax, 2
        CHECK "XCHG AX,BX other", bx, 1

        mov cx, 0x1234
        mov word [MEM], 0x5678
        xchg cx, [MEM]
        CHECK "XCHG r16,m16", cx, 0x5678
        CHECK "XCHG r16,m16 memory", word [MEM], 0x1234

        mov ax, 0x12AB
        xchg al, ah
        CHECK "XCHG AL,AH", ax, 0xAB12

        mov bx, 0xFFF0
        mov si, 0x0005
        lea ax, [bx + si + 0x10]        ; wraps at 16 bits
        CHECK "LEA wraps", ax, 0x0005
        mov bp, 0x0100
        mov di, 0x0020
        db 0x26, 0x8D, 0x53, 0xFF       ; ES: LEA DX, [BP+DI-1]
        CHECK "LEA ignores a segment prefix", dx, 0x011F

        mov word [MEM], 0x1234
        mov word [MEM + 2], 0x5678
        les di, [MEM]
        mov ax, es
        CHECK "LES offset", di, 0x1234
        CHECK "LES segment", ax, 0x5678
        lds si, [MEM]
        mov ax, ds
        push word 0
        pop ds
        CHECK "LDS offset", si, 0x1234
        CHECK "LDS segment", ax, 0x5678

        ; the second word wraps inside the 64 KB: 0xFFFE + 2 = offset 0
        mov word [0xFFFE], 0x1111
        mov word [0x0000], 0x2222
        les bx, [0xFFFE]
        mov ax, es
        CHECK "LES second word wraps", ax, 0x2222
        CHECK "LES first word at 0xFFFE", bx, 0x1111
        xor ax, ax
        mov es, ax

        mov bx, xlat_table
        mov ax, 0x1203
        cs xlatb
        CHECK "XLAT CS:", ax, 0x1213
        mov byte [MEM + 2], 0x42
        mov bx, MEM
        mov ax, 0x0002
        xlatb
        CHECK "XLAT DS", ax, 0x0042
        mov byte [0x0001], 0x77
        mov bx, 0xFFFF
        mov ax, 0x0002
        xlatb                           ; BX + AL wraps to 1
        CHECK "XLAT wraps at 16 bits", ax, 0x0077
        ret

stack_ops:
        mov bx, sp
        push sp
        pop ax
        sub ax, bx
        CHECK "PUSH SP pushes SP - 2", ax, 0xFFFE

        mov bx, sp
        db 0xFF, 0xF4                   ; PUSH SP through 0xFF /6
        pop ax
        sub ax, bx
        CHECK "PUSH r/m16 SP pushes SP", ax, 0

        mov [SAVED], sp
        push word 0x2800
        pop sp
        mov ax, sp
        mov sp, [SAVED]
        CHECK "POP SP adds 2 to the popped value", ax, 0x2802

        mov bx, sp
        push word 0x5678
        pop word [MEM]
        mov ax, sp
        sub ax, bx
        CHECK "POP m16", word [MEM], 0x5678
        CHECK "POP m16 leaves SP", ax, 0

        push word 0x1234
        pop ax
        CHECK "PUSH imm16", ax, 0x1234
        db 0x6A, 0xFF                   ; PUSH -1 (imm8)
        pop ax
        CHECK "PUSH imm8 sign-extended", ax, 0xFFFF
        db 0x6A, 0x7F
        pop ax
        CHECK "PUSH imm8 positive", ax, 0x007F

        SETF F_CF | F_ZF | F_OF
        pushf
        pop ax
        CHECK "PUSHF", ax, F_CF | F_ZF | F_OF
        push word 0xFFFF
        popf
        CHECK_FLAGS "POPF of all ones", 0x0FD5
        push word 0
        popf
        ret

push_all:
        mov [SAVED], sp
        mov sp, 0x2800
        mov ax, 0x1111
        mov cx, 0x2222
        mov dx, 0x3333
        mov bx, 0x4444
        mov bp, 0x5555
        mov si, 0x6666
        mov di, 0x7777
        pusha
        mov ax, sp
        CHECK "PUSHA SP", ax, 0x27F0
        CHECK "PUSHA AX", word [0x27FE], 0x1111
        CHECK "PUSHA CX", word [0x27FC], 0x2222
        CHECK "PUSHA DX", word [0x27FA], 0x3333
        CHECK "PUSHA BX", word [0x27F8], 0x4444
        CHECK "PUSHA SP before", word [0x27F6], 0x2800
        CHECK "PUSHA BP", word [0x27F4], 0x5555
        CHECK "PUSHA SI", word [0x27F2], 0x6666
        CHECK "PUSHA DI", word [0x27F0], 0x7777
        mov word [0x27F6], 0x9999       ; POPA skips this word
        xor ax, ax
        xor cx, cx
        xor dx, dx
        xor bx, bx
        xor bp, bp
        xor si, si
        xor di, di
        popa
        mov [MEM], sp
        mov sp, [SAVED]
        CHECK "POPA skips SP", word [MEM], 0x2800
        CHECK "POPA AX", ax, 0x1111
        CHECK "POPA CX", cx, 0x2222
        CHECK "POPA DX", dx, 0x3333
        CHECK "POPA BX", bx, 0x4444
        CHECK "POPA BP", bp, 0x5555
        CHECK "POPA SI", si, 0x6666
        CHECK "POPA DI", di, 0x7777
        ret

; ENTER checks run on a stack at 0x3000; the harness pushes below it.
%macro FRAME_AT_3000 0
        mov sp, 0x3000
        mov bp, 0x1234
%endmacro

enter_leave:
        mov [SAVED], sp
        FRAME_AT_3000
        enter 4, 0
        mov ax, sp
        CHECK "ENTER 4,0 SP", ax, 0x2FFA
        CHECK "ENTER 4,0 BP", bp, 0x2FFE
        CHECK "ENTER 4,0 saved BP", word [0x2FFE], 0x1234
        leave
        mov ax, sp
        CHECK "LEAVE SP", ax, 0x3000
        CHECK "LEAVE BP", bp, 0x1234

        ; level 2: one word copied from BP - 2, then the frame pointer
        mov word [0x2FFC], 0xCAFE
        FRAME_AT_3000
        enter 4, 2
        mov ax, sp
        CHECK "ENTER 4,2 SP", ax, 0x2FF6
        CHECK "ENTER 4,2 BP", bp, 0x2FFE
        CHECK "ENTER 4,2 copies BP-2", word [0x2FF8], 0xCAFE
        CHECK "ENTER 4,2 pushes the frame", word [0x2FF6], 0x2FFE

        ; level 3: BP - 2 and BP - 4
        mov word [0x2FFC], 0xCAFE
        mov word [0x2FFA], 0xF00D
        FRAME_AT_3000
        enter 4, 3
        mov ax, sp
        CHECK "ENTER 4,3 SP", ax, 0x2FF4
        CHECK "ENTER 4,3 copies BP-2", word [0x2FF8], 0xCAFE
        CHECK "ENTER 4,3 copies BP-4", word [0x2FF6], 0xF00D
        CHECK "ENTER 4,3 pushes the frame", word [0x2FF4], 0x2FFE

        ; a segment prefix moves the copies' source: ES:BP-2
        mov word [0x2FFC], 0xCAFE
        mov word [0x1000 + 0x2FFC], 0xD00D
        mov ax, 0x0100
        mov es, ax
        FRAME_AT_3000
        db 0x26, 0xC8
        dw 4
        db 2                            ; ES: ENTER 4, 2
        CHECK "ES: ENTER copies from ES", word [0x2FF8], 0xD00D
        xor ax, ax
        mov es, ax
        mov sp, [SAVED]
        ret

segment_registers:
        push cs
        pop ax
        CHECK "PUSH CS", ax, 0xF000
        mov ax, 0x1234
        mov es, ax
        mov bx, es
        CHECK "MOV ES,r16 and MOV r16,ES", bx, 0x1234
        mov [MEM], es
        CHECK "MOV m16,ES", word [MEM], 0x1234
        mov word [MEM], 0x4321
        mov es, [MEM]
        mov ax, es
        CHECK "MOV ES,m16", ax, 0x4321
        push es
        pop ds
        mov cx, ds
        push ss
        pop ds
        CHECK "PUSH ES, POP DS", cx, 0x4321
        mov ax, 0x5555
        db 0x8E, 0xE0                   ; MOV with reg field 4: loads nothing
        mov ax, es
        mov bx, ds
        mov cx, ss
        CHECK "MOV sreg reg 4 leaves ES", ax, 0x4321
        CHECK "MOV sreg reg 4 leaves DS", bx, 0
        CHECK "MOV sreg reg 4 leaves SS", cx, 0
        xor ax, ax
        mov es, ax
        ret

ports:
        mov ax, 0x1234
        out PORT_DMA_SOURCE, ax         ; ports 0x40, 0x41 only store
        xor ax, ax
        in ax, PORT_DMA_SOURCE
        CHECK "OUT/IN imm8 word", ax, 0x1234
        mov dx, PORT_DMA_SOURCE + 2
        mov al, 0x56
        out dx, al
        mov ax, 0
        in al, dx
        CHECK "OUT/IN DX byte", ax, 0x0056
        mov dx, 0x0142
        mov ax, 0xFFFF
        in al, dx
        CHECK "IN from port 0x142 reads 0", ax, 0xFF00
        mov dx, 0x00FF
        mov ax, 0xAB12
        out dx, ax                      ; 0x12 to port 0xFF, 0xAB to port 0x100
        in ax, 0xFF
        CHECK "OUT DX,AX at port 0xFF stores only the low byte", ax, 0x0012
        mov al, 0
        out 0xA0, al
        in al, 0xA0
        CHECK_MASKED "port 0xA0 reads 2", ax, 0x0002, 0x00FF
        mov al, 0xFF
        out 0xB3, al
        in al, 0xB3
        CHECK_MASKED "port 0xB3 clears bit 5, sets bit 2", ax, 0x00DF, 0x00FF
        mov al, 0x01
        out 0xCA, al
        in al, 0xCA
        CHECK_MASKED "port 0xCA sets bit 7", ax, 0x0081, 0x00FF
        ret

; CS = 0xFFFF, IP = 0x0010 is linear 0x100000, which wraps to internal RAM 0.
fetch_wrap:
        mov byte [0x0000], 0xEA         ; JMP FAR 0xF000:.back
        mov word [0x0001], .back
        mov word [0x0003], 0xF000
        mov ax, 0
        jmp 0xFFFF:0x0010
        mov ax, 0xDEAD                  ; not reached
.back:
        CHECK "fetch at 0xFFFF:0x0010 wraps to 0", ax, 0
        ret

rom_word:
        dw 0xBEEF
xlat_table:
        db 0x10, 0x11, 0x12, 0x13, 0x14

        SUITE_TABLES
        CARTRIDGE_FOOTER 0xF000, start, 0x00, 0, 0x00, 0, 1, 0x00, 0
