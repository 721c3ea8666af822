; The string instructions alone and with the four repeat prefixes (0xF3
; REP/REPE, 0xF2 REPNE, 0x64 REPNC, 0x65 REPC), including repeats that run
; across many slices with the HBlank timer interrupting every line: 0xF3 (and
; 0xF2 with CMPS/SCAS) is suspended between slices with IP back on its
; prefix (or on a segment prefix in front of it) and carries on where it
; stopped; 0xF2 with the other instructions, 0x64 and 0x65 run to the end in
; one go. Word elements take their high byte from the next linear address,
; except INSW and OUTSW, which wrap inside the segment.
        bits 16
        cpu 186
%include "suite.inc"

SRC             equ SUITE_SCRATCH + 0x100
DST             equ SUITE_SCRATCH + 0x200
BIG_SRC         equ 0x6000              ; 2,000-byte areas for long repeats
BIG_DST         equ 0x7000
WATCH_IP        equ SUITE_SCRATCH + 0x10    ; the interrupt observer:
WATCH_HITS      equ SUITE_SCRATCH + 0x12    ;   entries that returned to WATCH_IP
WATCH_CX        equ SUITE_SCRATCH + 0x14    ;   CX at the first of them
OTHER_HITS      equ SUITE_SCRATCH + 0x16    ;   entries elsewhere
PORT_A          equ PORT_DMA_SOURCE     ; 0x40-0x47 only store
BASE            equ 0x08                ; interrupt vector base

%macro STRING 2                         ; the bytes at address %1
        mov si, %%text
        mov di, %1
        mov cx, %%end - %%text
        cs rep movsb
        jmp short %%end
%%text:
        db %2
%%end:
%endmacro

        org 0
start:
        SUITE_START
        call single_elements
        call word_edges
        call repeat_prefixes
        call carry_prefixes
        call suspended_repeats
        SUITE_DONE

single_elements:
        STRING SRC, "ABCD"
        mov si, SRC
        mov di, DST
        movsb
        CHECK "MOVSB copies", word [DST], 0x0041
        CHECK "MOVSB steps SI", si, SRC + 1
        CHECK "MOVSB steps DI", di, DST + 1

        std
        mov si, SRC + 2
        mov di, DST + 2
        movsw
        cld
        CHECK "MOVSW with DF copies", word [DST + 2], 0x4443
        CHECK "MOVSW with DF steps SI down", si, SRC
        CHECK "MOVSW with DF steps DI down", di, DST

        mov ax, 0x0100
        mov es, ax
        mov byte [0x1000 + SRC], 0x77
        mov si, SRC
        mov di, DST + 8
        db 0x26                         ; ES: source
        movsb
        mov al, [es:DST + 8]
        xor bx, bx
        mov es, bx
        mov ah, 0
        CHECK "ES: MOVSB reads ES:SI, writes ES:DI", ax, 0x0077

        mov byte [SRC], 0x01
        mov byte [DST], 0x02
        mov si, SRC
        mov di, DST
        SETF 0
        cmpsb                           ; 1 - 2
        CHECK_FLAGS "CMPSB source minus destination", F_CF | F_PF | F_AF | F_SF
        CHECK "CMPSB steps SI", si, SRC + 1

        mov word [SRC], 0x8000
        mov word [DST], 0x0001
        mov si, SRC
        mov di, DST
        SETF 0
        cmpsw                           ; 0x8000 - 1 overflows
        CHECK_FLAGS "CMPSW", F_PF | F_AF | F_OF
        CHECK "CMPSW steps DI", di, DST + 2

        mov byte [DST], 0x10
        mov ax, 0x0010
        mov di, DST
        SETF F_CF
        scasb
        CHECK_FLAGS "SCASB equal", F_PF | F_ZF
        CHECK "SCASB steps DI", di, DST + 1

        mov word [DST], 0x0002
        mov ax, 0x0001
        mov di, DST
        SETF 0
        scasw
        CHECK_FLAGS "SCASW accumulator minus memory", F_CF | F_PF | F_AF | F_SF

        mov word [SRC], 0x1234
        mov si, SRC
        mov ax, 0
        lodsw
        CHECK "LODSW", ax, 0x1234
        CHECK "LODSW steps SI", si, SRC + 2
        std
        lodsb
        cld
        CHECK "LODSB with DF", ax, 0x1243     ; the "C" at SRC + 2
        CHECK "LODSB with DF steps SI down", si, SRC + 1

        mov ax, 0xABCD
        mov di, DST
        stosw
        stosb
        CHECK "STOSW", word [DST], 0xABCD
        CHECK_MASKED "STOSB", word [DST + 2], 0x00CD, 0x00FF
        CHECK "STOS steps DI", di, DST + 3

        mov ax, 0xBEEF
        out PORT_A, ax
        mov dx, PORT_A
        mov di, DST
        insw
        insb
        CHECK "INSW", word [DST], 0xBEEF
        CHECK_MASKED "INSB", word [DST + 2], 0x00EF, 0x00FF
        CHECK "INS steps DI", di, DST + 3

        mov word [SRC], 0x5A6B
        mov byte [SRC + 2], 0x3C
        mov dx, PORT_A + 2
        mov si, SRC
        outsw
        in ax, PORT_A + 2
        CHECK "OUTSW", ax, 0x5A6B
        outsb
        in al, PORT_A + 2
        CHECK "OUTSB", ax, 0x5A3C
        CHECK "OUTS steps SI", si, SRC + 3
        ret

word_edges:
        ; INSW at DI = 0xFFFF: the high byte wraps to ES:0
        mov byte [0x0000], 0
        mov ax, 0x1357
        out PORT_A, ax
        mov dx, PORT_A
        mov di, 0xFFFF
        insw
        CHECK_MASKED "INSW at 0xFFFF low byte", word [0xFFFE], 0x5700, 0xFF00
        CHECK_MASKED "INSW at 0xFFFF high byte wraps", word [0x0000], 0x0013, 0x00FF
        CHECK "INSW at 0xFFFF DI", di, 0x0001

        ; OUTSW at SI = 0xFFFF reads its high byte at offset 0
        mov byte [0xFFFF], 0x24
        mov byte [0x0000], 0x68
        mov si, 0xFFFF
        mov dx, PORT_A
        outsw
        in ax, PORT_A
        CHECK "OUTSW at 0xFFFF wraps", ax, 0x6824

        ; MOVSW reads its high byte at the next linear address: bank 1 (0xFF)
        mov byte [0xFFFF], 0x11
        mov si, 0xFFFF
        mov di, DST
        movsw
        CHECK "MOVSW source crosses into the next 64 KB", word [DST], 0xFF11

        ; ES = 0xF000, DI = 0xFFFF: the high byte goes to linear 0x100000 = 0
        mov byte [0x0000], 0
        mov word [SRC], 0x5A6B
        mov ax, 0xF000
        mov es, ax
        mov si, SRC
        mov di, 0xFFFF
        movsw
        xor ax, ax
        mov es, ax
        CHECK_MASKED "MOVSW destination crosses 1 MB to 0", word [0x0000], 0x005A, 0x00FF
        ret

; REP with CX and the data areas set up: CX, SI, DI afterwards are checked.
repeat_prefixes:
        STRING SRC, "ABCDEFGH"
        mov word [DST], 0x5555
        mov si, SRC
        mov di, DST
        mov cx, 0
        rep movsb
        CHECK "REP MOVSB CX 0 copies nothing", word [DST], 0x5555
        CHECK "REP MOVSB CX 0 leaves SI", si, SRC

        mov cx, 8
        rep movsb
        CHECK "REP MOVSB CX 8 CX", cx, 0
        CHECK "REP MOVSB CX 8 last byte", word [DST + 6], 0x4847
        CHECK "REP MOVSB CX 8 SI", si, SRC + 8

        std
        mov ax, 0x9988
        mov di, DST + 4
        mov cx, 3
        rep stosw
        cld
        CHECK "REP STOSW with DF", word [DST], 0x9988
        CHECK "REP STOSW with DF DI", di, DST - 2

        STRING SRC, "ABCD"
        STRING DST, "ABCD"
        mov si, SRC
        mov di, DST
        mov cx, 4
        repe cmpsb
        CHECK_FLAGS "REPE CMPSB equal", F_PF | F_ZF
        CHECK "REPE CMPSB equal CX", cx, 0

        STRING DST, "AXCD"
        mov si, SRC
        mov di, DST
        mov cx, 4
        repe cmpsb
        CHECK "REPE CMPSB stops after the difference CX", cx, 2
        CHECK "REPE CMPSB stops after the difference SI", si, SRC + 2
        CHECK_JUMP "REPE CMPSB stops after the difference ZF", jz, 0

        STRING DST, "XYCZ"
        mov si, SRC
        mov di, DST
        mov cx, 10
        repne cmpsb
        CHECK "REPNE CMPSB stops at the equal byte", cx, 7
        CHECK_JUMP "REPNE CMPSB stops at the equal byte ZF", jz, 1

        mov di, SRC
        mov ax, "C"
        mov cx, 10
        repne scasb
        CHECK "REPNE SCASB finds", cx, 7
        CHECK "REPNE SCASB finds DI", di, SRC + 3

        STRING DST, "AAAB"
        mov di, DST
        mov ax, "A"
        mov cx, 4
        repe scasb
        CHECK "REPE SCASB runs out", cx, 0
        CHECK_JUMP "REPE SCASB runs out ZF", jz, 0

        ; 0xF2 tests no flag with MOVS and STOS
        mov si, SRC
        mov di, DST
        mov cx, 3
        SETF F_ZF
        repne movsb
        CHECK_FLAGS "REPNE MOVSB leaves the flags", F_ZF
        CHECK "REPNE MOVSB runs CX times", cx, 0
        CHECK "REPNE MOVSB copies", word [DST + 1], 0x4342

        mov di, DST
        mov al, 0x3C
        mov cx, 4
        SETF F_ZF
        repne stosb
        CHECK "REPNE STOSB runs CX times", cx, 0
        CHECK "REPNE STOSB stores", word [DST + 2], 0x3C3C

        ; the prefix before an ordinary instruction: that instruction once
        mov ax, 0
        mov cx, 5
        db 0xF3
        inc ax
        db 0xF3
        nop
        CHECK "REP INC AX runs once", ax, 1
        CHECK "REP INC AX leaves CX", cx, 5

        ; segment prefix after the repeat prefix: source ES:SI
        mov ax, 0x0100
        mov es, ax
        mov word [0x1000 + SRC], 0x6655
        mov word [DST], 0
        mov si, SRC
        mov di, DST
        mov cx, 2
        db 0xF3, 0x26, 0xA4             ; REP ES: MOVSB
        mov ax, [es:DST]
        xor bx, bx
        mov es, bx
        CHECK "REP ES: MOVSB", ax, 0x6655

        mov si, rom_bytes
        mov di, DST
        mov cx, 2
        db 0x2E, 0xF3, 0xA4             ; CS: REP MOVSB: source from the ROM
        CHECK "CS: REP MOVSB from the ROM", word [DST], 0xD2C1

        STRING SRC, "XYZ"
        mov si, SRC
        mov cx, 3
        rep lodsb
        mov ah, 0
        CHECK "REP LODSB keeps the last", ax, "Z"

        mov si, SRC
        mov dx, PORT_A + 4
        mov cx, 2
        rep outsb
        in al, PORT_A + 4
        CHECK "REP OUTSB", ax, "Y"

        mov al, 0x4D
        out PORT_A + 5, al
        mov dx, PORT_A + 5
        mov di, DST
        mov cx, 3
        rep insb
        CHECK "REP INSB", word [DST + 1], 0x4D4D
        CHECK "REP INSB DI", di, DST + 3
        ret

carry_prefixes:
        STRING SRC, "ABCD"
        mov word [DST], 0
        mov si, SRC
        mov di, DST
        mov cx, 10
        SETF 0
        db 0x65                         ; REPC: stops after an element with CF 0
        movsb
        CHECK "REPC MOVSB with CF clear moves one", cx, 9
        CHECK "REPC MOVSB with CF clear", word [DST], 0x0041

        mov si, SRC
        mov di, DST
        mov cx, 4
        SETF F_CF
        db 0x65
        movsb
        CHECK "REPC MOVSB with CF set runs out", cx, 0

        mov si, SRC
        mov di, DST
        mov cx, 4
        SETF 0
        db 0x64                         ; REPNC
        movsb
        CHECK "REPNC MOVSB with CF clear runs out", cx, 0

        mov si, SRC
        mov di, DST
        mov cx, 0
        SETF 0
        db 0x65
        movsb
        CHECK "REPC with CX 0 moves nothing", si, SRC

        ; "AAAAA" - "AABAA": the third element borrows
        STRING SRC, "AAAAA"
        STRING DST, "AABAA"
        mov si, SRC
        mov di, DST
        mov cx, 5
        SETF 0
        db 0x64
        cmpsb
        CHECK "REPNC CMPSB stops on a borrow", cx, 2

        ; 0 - 1, 0 - 2 borrow; 0 - 0 does not
        STRING DST, {1, 2, 0, 5}
        mov di, DST
        mov ax, 0
        mov cx, 10
        SETF F_CF
        db 0x65
        scasb
        CHECK "REPC SCASB stops without a borrow", cx, 7
        ret

; Every line the HBlank timer interrupts; the observer counts the entries that
; return to WATCH_IP.
%macro WATCH 1
        mov word [WATCH_IP], %1
        mov word [WATCH_HITS], 0
        mov word [WATCH_CX], 0xFFFF
        mov word [OTHER_HITS], 0
%endmacro

suspended_repeats:
        mov word [(BASE + 7) * 4], rep_observer
        mov word [(BASE + 7) * 4 + 2], cs
        WATCH 0xFFFF
        mov al, BASE
        out PORT_INT_BASE, al
        mov ax, 1
        out PORT_HTIMER_RELOAD, ax
        mov al, TIMER_HBLANK_ON | TIMER_HBLANK_REPEAT
        out PORT_TIMER_CTRL, al
        mov al, INT_HTIMER
        out PORT_INT_STATUS, al
        out PORT_INT_ENABLE, al
        sti

        mov di, BIG_DST
        mov al, 0xA7
        mov cx, 2000
        WATCH .rep_stosb
.rep_stosb:
        rep stosb
        CHECK "suspended REP STOSB CX", cx, 0
        CHECK_RANGE "REP STOSB suspended on its prefix", word [WATCH_HITS], 1, 0xFFFF
        CHECK_RANGE "REP STOSB CX at a suspension", word [WATCH_CX], 1, 1999
        mov di, BIG_DST
        mov cx, 2000
        repe scasb                      ; AL still 0xA7
        CHECK "suspended REP STOSB stored every byte", cx, 0
        CHECK "suspended REP STOSB DI", di, BIG_DST + 2000

        ; CS: REP MOVSB resumes at the CS prefix, copying the ROM from 0
        mov si, 0
        mov di, BIG_SRC
        mov cx, 2000
        WATCH .cs_rep
.cs_rep:
        db 0x2E, 0xF3, 0xA4             ; CS: REP MOVSB
        CHECK_RANGE "CS: REP MOVSB suspended on the CS prefix", word [WATCH_HITS], 1, 0xFFFF
        CHECK "CS: REP MOVSB CX", cx, 0
        mov si, 0
        mov di, BIG_SRC
        mov cx, 2000
        db 0x2E, 0xF3, 0xA6             ; CS: REPE CMPSB against the ROM
        CHECK "CS: REP MOVSB copied every byte", cx, 0
        CHECK_JUMP "CS: REP MOVSB copied every byte ZF", jz, 1

        ; REP ES: MOVSW resumes at the REP prefix
        mov ax, 0x0100
        mov es, ax                      ; ES:0x6000 is internal RAM 0x7000
        mov si, BIG_SRC - 0x1000        ; ES:SI, the ROM copy at 0x6000
        mov di, BIG_SRC                 ; ES:DI, 0x7000
        mov cx, 1000
        WATCH .rep_es
.rep_es:
        db 0xF3, 0x26, 0xA5             ; REP ES: MOVSW
        xor ax, ax
        mov es, ax
        CHECK_RANGE "REP ES: MOVSW suspended on the REP prefix", word [WATCH_HITS], 1, 0xFFFF
        mov si, 0
        mov di, BIG_DST
        mov cx, 2000
        db 0x2E, 0xF3, 0xA6             ; CS: REPE CMPSB
        CHECK "REP ES: MOVSW copied every word", cx, 0
        CHECK_JUMP "REP ES: MOVSW copied every word ZF", jz, 1

        ; REPE CMPSB and REPNE SCASB are interruptible
        mov si, BIG_SRC
        mov di, BIG_DST
        mov cx, 2000
        WATCH .repe_cmpsb
.repe_cmpsb:
        repe cmpsb
        CHECK_RANGE "REPE CMPSB suspended on its prefix", word [WATCH_HITS], 1, 0xFFFF
        CHECK "suspended REPE CMPSB CX", cx, 0
        CHECK_JUMP "suspended REPE CMPSB ZF", jz, 1

        ; 0xF2 MOVSB, 0x64 and 0x65 run to the end in one go
        mov si, BIG_SRC
        mov di, BIG_DST
        mov cx, 2000
        WATCH .repne_movsb
.repne_movsb:
        repne movsb
        CHECK "REPNE MOVSB is not suspended", word [WATCH_HITS], 0
        CHECK "REPNE MOVSB CX", cx, 0

        mov di, BIG_DST
        mov al, 0x3E
        mov cx, 2000
        clc
        WATCH .repnc_stosb
.repnc_stosb:
        db 0x64                         ; REPNC STOSB
        stosb
        CHECK "REPNC STOSB is not suspended", word [WATCH_HITS], 0
        CHECK "REPNC STOSB CX", cx, 0

        mov di, BIG_DST                 ; 0x3E everywhere
        mov al, 0xA7
        mov cx, 2000
        WATCH .repne_scasb
.repne_scasb:
        repne scasb
        CHECK_RANGE "REPNE SCASB suspended on its prefix", word [WATCH_HITS], 1, 0xFFFF
        CHECK "suspended REPNE SCASB CX", cx, 0
        CHECK_JUMP "suspended REPNE SCASB ZF", jz, 0

        mov si, BIG_DST
        mov di, BIG_SRC
        mov cx, 2000
        stc
        WATCH .repc_movsb
.repc_movsb:
        db 0x65                         ; REPC MOVSB
        movsb
        CHECK "REPC MOVSB is not suspended", word [WATCH_HITS], 0
        CHECK "REPC MOVSB CX", cx, 0
        CHECK_RANGE "the timer interrupted elsewhere too", word [OTHER_HITS], 1, 0xFFFF

        cli
        mov al, 0
        out PORT_INT_ENABLE, al
        out PORT_TIMER_CTRL, al
        ret

rep_observer:
        push bp
        mov bp, sp
        push ax
        mov ax, [bp + 2]
        cmp ax, [WATCH_IP]
        jne .elsewhere
        inc word [WATCH_HITS]
        cmp word [WATCH_CX], 0xFFFF
        jne .acknowledge
        mov [WATCH_CX], cx
        jmp short .acknowledge
.elsewhere:
        inc word [OTHER_HITS]
.acknowledge:
        mov al, INT_HTIMER
        out PORT_INT_STATUS, al
        pop ax
        pop bp
        iret

rom_bytes:
        db 0xC1, 0xD2

        SUITE_TABLES
        CARTRIDGE_FOOTER 0xF000, start, 0x00, 0, 0x00, 0, 1, 0x00, 0
