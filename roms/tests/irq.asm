; Interrupts and timers: the vector base, priority (highest cause bit first),
; causes that wait while IF is clear, acknowledging through port 0xB6,
; causes that are not latched when their enable bit was clear, handlers that
; do not acknowledge and are entered again, line compare and VBlank on their
; lines, the HBlank timer repeating, one-shot and with reload 1 while off, the
; VBlank timer repeating and one-shot, the timer ports, and the key cause.
;
; The VBlank handler counts frames from the first one (frame f's VBlank makes
; the count f + 1), so the key checks can name frames. tests/suite runs this
; cartridge with --keys 40:400,50:0: A held from frame 40, released at 50.
        bits 16
        cpu 186
%include "suite.inc"

BASE            equ 0x20                ; cause i uses vector BASE + i
KEY_PRESS       equ 40                  ; the frames of --keys
KEY_RELEASE     equ 50
KEY_A           equ 0x04                ; A in the low nibble of the button row

V               equ SUITE_SCRATCH       ; handler state, words:
VBCOUNT         equ V + 0x00            ;   VBlank entries (frames)
VB_LINE         equ V + 0x02            ;   line counter in the VBlank handler
VB_HOOK         equ V + 0x04            ;   routine the next VBlank calls, or 0
HCOUNT          equ V + 0x06            ;   HBlank timer entries
VTCOUNT         equ V + 0x08            ;   VBlank timer entries
VT_FRAME        equ V + 0x0A            ;   VBCOUNT at the first of them
ARM_FRAME       equ V + 0x0C            ;   VBCOUNT when the one-shot was armed
LCCOUNT         equ V + 0x0E            ;   line compare entries
LC_LINE         equ V + 0x10            ;   line counter at the first of them
LC_NOACK        equ V + 0x12            ;   entries left without acknowledging
KCOUNT          equ V + 0x14            ;   key entries
KEY_FRAME       equ V + 0x16            ;   VBCOUNT at the first of them
KEY_SEEN        equ V + 0x18            ;   VBCOUNT when A was first seen held
KEY_PORT        equ V + 0x1A            ;   the keypad port then
STRAY           equ V + 0x1C            ;   entries through any other vector
LOGGING         equ V + 0x1E            ;   cause numbers go to LOG while set
LOG_PTR         equ V + 0x20
LOG             equ V + 0x22            ;   8 bytes
SNAP_PTR        equ V + 0x2A            ;   HCOUNT at each VBlank, 3 words
SNAPS           equ V + 0x2C
SNAP_END        equ SNAPS + 6

%macro WAIT_WORD 2                      ; memory word, value: until it is reached
        mov bx, %1
        mov ax, %2
        call wait_word
%endmacro

%macro WAIT_FRAMES 1                    ; that many more VBlanks
        mov ax, [VBCOUNT]
        add ax, %1
        mov bx, VBCOUNT
        call wait_word
%endmacro

%macro IE 1
        mov al, %1
        out PORT_INT_ENABLE, al
%endmacro

%macro TIMERS 1
        mov al, %1
        out PORT_TIMER_CTRL, al
%endmacro

        org 0
start:
        SUITE_START
        call timer_ports
        call install
        IE INT_VBLANK
        sti
        call priority
        call acknowledge
        call not_latched
        call entered_again
        CHECK "VBlank enters on line 144", word [VB_LINE], 144
        call hblank_timer
        call vblank_timer
        call key
        CHECK "no entry through another vector", word [STRAY], 0
        cli
        SUITE_DONE

timer_ports:
        mov al, 0x12
        out PORT_HTIMER_RELOAD, al
        in al, PORT_HTIMER_COUNT
        mov ah, 0
        CHECK "a reload byte sets its counter byte", ax, 0x0012
        mov ax, 0x0305
        out PORT_VTIMER_RELOAD, ax
        in ax, PORT_VTIMER_COUNT
        CHECK "a reload word sets its counter", ax, 0x0305
        TIMERS 0
        in ax, PORT_HTIMER_COUNT
        mov bx, ax
        in ax, PORT_VTIMER_COUNT
        or ax, bx
        CHECK "TimerControl 0 clears both counters", ax, 0
        TIMERS TIMER_HBLANK_ON | TIMER_VBLANK_ON
        in ax, PORT_HTIMER_COUNT
        CHECK "TimerControl loads the HBlank counter", ax, 0x0012
        in ax, PORT_VTIMER_COUNT
        CHECK "TimerControl loads the VBlank counter", ax, 0x0305
        TIMERS 0
        xor ax, ax
        out PORT_HTIMER_RELOAD, ax
        out PORT_VTIMER_RELOAD, ax
        ret

install:
        mov bx, 0                       ; every vector 0x00-0x2F: stray
.stray:
        mov word [bx], stray
        mov word [bx + 2], cs
        add bx, 4
        cmp bx, 0x30 * 4
        jb .stray
        mov word [(BASE + 7) * 4], hblank_timer_handler
        mov word [(BASE + 6) * 4], vblank_handler
        mov word [(BASE + 5) * 4], vblank_timer_handler
        mov word [(BASE + 4) * 4], line_handler
        mov word [(BASE + 1) * 4], key_handler
        mov al, BASE
        out PORT_INT_BASE, al
        mov al, KEYPAD_ROW_BUTTONS
        out PORT_KEYPAD, al
        mov al, 0xFF
        out PORT_INT_STATUS, al
        mov word [SNAP_PTR], SNAP_END
        mov word [LOG_PTR], LOG
        ret

; AL = port 0xB6 once its bits %1 are all set (or after a long while), IF clear.
%macro POLL_STATUS 1
        mov cx, 0xFFFF
%%poll:
        in al, PORT_INT_STATUS
        and al, %1
        cmp al, %1
        loopne %%poll
        in al, PORT_INT_STATUS
        mov ah, 0
%endmacro

priority:
        mov al, 100
        out PORT_LINE_COMPARE, al
        cli
        IE INT_VBLANK | INT_LINE
        POLL_STATUS INT_VBLANK | INT_LINE
        CHECK "causes wait while IF is clear", ax, INT_VBLANK | INT_LINE
        IE INT_VBLANK
        in al, PORT_INT_STATUS
        CHECK "clearing an enable bit keeps the cause", ax, INT_VBLANK | INT_LINE
        mov word [LOGGING], 1
        mov word [LCCOUNT], 0
        sti
        WAIT_WORD LCCOUNT, 1
        mov word [LOGGING], 0
        CHECK "VBlank (bit 6) before line compare (bit 4)", word [LOG], 4 << 8 | 6
        in al, PORT_INT_STATUS
        mov ah, 0
        CHECK "both causes acknowledged", ax, 0
        ret

acknowledge:
        cli
        IE INT_VBLANK | INT_LINE
        POLL_STATUS INT_VBLANK | INT_LINE
        mov al, 0
        out PORT_INT_STATUS, al
        in al, PORT_INT_STATUS
        CHECK "writing 0 to port 0xB6 acknowledges nothing", ax, INT_VBLANK | INT_LINE
        mov al, INT_LINE
        out PORT_INT_STATUS, al
        in al, PORT_INT_STATUS
        CHECK "writing a bit acknowledges that cause only", ax, INT_VBLANK
        IE INT_VBLANK
        sti                             ; the VBlank handler takes the other
        ret

not_latched:
        mov al, 20
        out PORT_LINE_COMPARE, al
        mov cx, 0xFFFF
.wait_line:                             ; until line 25, line compare off
        hlt
        in al, PORT_LINE
        cmp al, 25
        loopne .wait_line
        in al, PORT_INT_STATUS
        and ax, INT_LINE
        CHECK "no line compare cause while it is not enabled", ax, 0
        IE INT_VBLANK | INT_LINE
        in al, PORT_INT_STATUS
        and ax, INT_LINE
        CHECK "enabling it later latches nothing", ax, 0
        IE INT_VBLANK
        ret

entered_again:
        mov al, 50
        out PORT_LINE_COMPARE, al
        mov word [LCCOUNT], 0
        mov word [LC_NOACK], 3
        IE INT_VBLANK | INT_LINE
        WAIT_WORD LCCOUNT, 4
        IE INT_VBLANK
        CHECK "line compare enters on its line", word [LC_LINE], 50
        WAIT_FRAMES 2
        CHECK "a handler that does not acknowledge is entered again", word [LCCOUNT], 4
        ret

hblank_timer:
        ; repeating every third line: 159 / 3 in every frame
        mov ax, 3
        out PORT_HTIMER_RELOAD, ax
        TIMERS TIMER_HBLANK_ON | TIMER_HBLANK_REPEAT
        IE INT_VBLANK | INT_HTIMER
        mov word [SNAP_PTR], SNAPS
        WAIT_WORD SNAP_PTR, SNAP_END
        mov ax, [SNAPS + 2]
        sub ax, [SNAPS]
        CHECK "HBlank timer reload 3 repeating: 53 a frame", ax, 53
        mov ax, [SNAPS + 4]
        sub ax, [SNAPS + 2]
        CHECK "HBlank timer reload 3 repeating: 53 the next frame", ax, 53

        ; one-shot
        TIMERS 0
        mov word [HCOUNT], 0
        mov ax, 10
        out PORT_HTIMER_RELOAD, ax
        TIMERS TIMER_HBLANK_ON
        WAIT_FRAMES 3
        CHECK "one-shot HBlank timer fires once", word [HCOUNT], 1
        in ax, PORT_HTIMER_COUNT
        CHECK "one-shot HBlank timer stays at 0", ax, 0

        ; reload 1 with the timer off: every line
        TIMERS 0
        mov ax, 1
        out PORT_HTIMER_RELOAD, ax
        mov word [SNAP_PTR], SNAPS
        WAIT_WORD SNAP_PTR, SNAP_END
        mov ax, [SNAPS + 4]
        sub ax, [SNAPS + 2]
        CHECK "reload 1 with the HBlank timer off: every line", ax, 159
        IE INT_VBLANK
        xor ax, ax
        out PORT_HTIMER_RELOAD, ax
        ret

vblank_timer:
        mov ax, 2
        out PORT_VTIMER_RELOAD, ax
        mov word [VTCOUNT], 0
        TIMERS TIMER_VBLANK_ON | TIMER_VBLANK_REPEAT
        IE INT_VBLANK | INT_VTIMER
        WAIT_FRAMES 6
        CHECK "repeating VBlank timer reload 2: 3 in 6 frames", word [VTCOUNT], 3

        ; one-shot, armed by a VBlank handler: fires 2 frames later
        TIMERS 0
        mov word [VTCOUNT], 0
        mov word [VB_HOOK], arm_vblank_timer
        WAIT_FRAMES 6
        mov ax, [VT_FRAME]
        sub ax, [ARM_FRAME]
        CHECK "one-shot VBlank timer fires at the second frame", ax, 2
        CHECK "one-shot VBlank timer fires once", word [VTCOUNT], 1
        in ax, PORT_VTIMER_COUNT
        CHECK "one-shot VBlank timer stays at 0", ax, 0
        IE INT_VBLANK
        TIMERS 0
        ret

arm_vblank_timer:                       ; from the VBlank handler
        push ax
        mov al, TIMER_VBLANK_ON
        out PORT_TIMER_CTRL, al
        mov ax, [VBCOUNT]
        mov [ARM_FRAME], ax
        mov word [VB_HOOK], 0
        pop ax
        ret

key:
        CHECK_RANGE "the key checks start before the press", word [VBCOUNT], 1, KEY_PRESS - 1
        mov word [KCOUNT], 0
        IE INT_VBLANK | INT_KEY
        mov ax, KEY_RELEASE + 6
        mov bx, VBCOUNT
        call wait_word
        CHECK "A is seen at the poll of its first frame", word [KEY_SEEN], KEY_PRESS + 1
        CHECK_MASKED "keypad port with A held", word [KEY_PORT], KEYPAD_ROW_BUTTONS | KEY_A, 0x00FF
        CHECK "key cause at the first poll after the release", word [KEY_FRAME], KEY_RELEASE
        CHECK "key cause on the release only", word [KCOUNT], 1
        IE 0
        ret

; Waits (halting) until the word at BX is at least AX, then 4 more lines;
; gives up after some 50 frames.
wait_word:
        push cx
        mov cx, 0xFFFF
.wait:
        hlt
        cmp [bx], ax
        jae .reached
        loop .wait
        jmp short .out
.reached:
        mov cx, 32
.more:
        hlt
        loop .more
.out:
        pop cx
        ret

; Handlers keep every register. log_cause appends AL while LOGGING is set.
log_cause:
        cmp word [LOGGING], 0
        je .out
        push bx
        mov bx, [LOG_PTR]
        cmp bx, LOG + 8
        jae .full
        mov [bx], al
        inc word [LOG_PTR]
.full:
        pop bx
.out:
        ret

%macro ACKNOWLEDGE 1                    ; cause bit (AL is saved by the caller)
        mov al, %1
        out PORT_INT_STATUS, al
%endmacro

vblank_handler:
        push ax
        in al, PORT_LINE
        mov [VB_LINE], al
        inc word [VBCOUNT]
        push bx
        mov bx, [SNAP_PTR]
        cmp bx, SNAP_END
        jae .no_snapshot
        mov ax, [HCOUNT]
        mov [bx], ax
        add word [SNAP_PTR], 2
.no_snapshot:
        pop bx
        in al, PORT_KEYPAD
        test al, KEY_A
        jz .no_key
        cmp word [KEY_SEEN], 0
        jne .no_key
        mov [KEY_PORT], al
        mov ax, [VBCOUNT]
        mov [KEY_SEEN], ax
.no_key:
        cmp word [VB_HOOK], 0
        je .no_hook
        call [VB_HOOK]
.no_hook:
        mov al, 6
        call log_cause
        ACKNOWLEDGE INT_VBLANK
        pop ax
        iret

hblank_timer_handler:
        push ax
        inc word [HCOUNT]
        ACKNOWLEDGE INT_HTIMER
        pop ax
        iret

vblank_timer_handler:
        push ax
        cmp word [VTCOUNT], 0
        jne .counted
        mov ax, [VBCOUNT]
        mov [VT_FRAME], ax
.counted:
        inc word [VTCOUNT]
        ACKNOWLEDGE INT_VTIMER
        pop ax
        iret

line_handler:
        push ax
        in al, PORT_LINE
        cmp word [LCCOUNT], 0
        jne .counted
        mov [LC_LINE], al
.counted:
        inc word [LCCOUNT]
        mov al, 4
        call log_cause
        cmp word [LC_NOACK], 0
        je .acknowledge
        dec word [LC_NOACK]
        jmp short .out
.acknowledge:
        ACKNOWLEDGE INT_LINE
.out:
        pop ax
        iret

key_handler:
        push ax
        cmp word [KCOUNT], 0
        jne .counted
        mov ax, [VBCOUNT]
        mov [KEY_FRAME], ax
.counted:
        inc word [KCOUNT]
        ACKNOWLEDGE INT_KEY
        pop ax
        iret

stray:
        inc word [STRAY]
        iret

        SUITE_TABLES
        CARTRIDGE_FOOTER 0xF000, start, 0x00, 0, 0x00, 0, 1, 0x00, 0
