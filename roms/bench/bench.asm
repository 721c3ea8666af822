; The benchmark cartridge: behaves like a busy game, always the same way.
; Both screens scroll, 64 sprites bounce, a palette turns every frame, three
; wave channels and the noise play, the VBlank and HBlank timer interrupts
; run, and each frame the main loop does a fixed round of ordinary work
; (arithmetic, multiply and divide, memory moves and string instructions)
; that keeps the CPU busy for most of the frame, then waits on HLT for the
; next VBlank. The VBlank handler counts frames in save RAM (a 32-bit
; counter at offset 0), so a run's count can be checked in the .sav file.
        bits 16
        cpu 186
%include "cart.inc"
%include "ws.inc"

CODE_SEG        equ 0xF000
SAVE_SEG        equ 0x1000
VECTOR_BASE     equ 0x08

; Internal RAM
FRAME           equ 0x0100          ; VBlank count of this run
WORK_DONE       equ 0x0102          ; rounds of work finished
IDLE            equ 0x0104          ; HLT rounds spent waiting
CHECKSUM        equ 0x0106          ; result of the last round
SCROLL          equ 0x0108
HLINE_SCROLL    equ 0x010A
NOTE_STEP       equ 0x010C
SPRITE_STATE    equ 0x0200          ; 64 x (x, y, dx, dy) words
BUFFER_A        equ 0x0600          ; 1 KB
BUFFER_B        equ 0x0A00          ; 1 KB
WAVE_TABLE      equ 0x0E00
STACK_TOP       equ 0x2000
MAP1            equ 0x2000
MAP2            equ 0x2800
SPRITES         equ 0x3000
TILES           equ 0x4000
SPRITE_COUNT    equ 64
TILE_COUNT      equ 64

        org 0
start:
        cli
        cld
        xor ax, ax
        mov ds, ax
        mov es, ax
        mov ss, ax
        mov sp, STACK_TOP
        mov al, WAVE_TABLE / 64
        out PORT_WAVE_BASE, al
        ; interrupts first, so the first frame's VBlank is counted
        mov word [(VECTOR_BASE + 7) * 4], hblank
        mov word [(VECTOR_BASE + 7) * 4 + 2], CODE_SEG
        mov word [(VECTOR_BASE + 6) * 4], vblank
        mov word [(VECTOR_BASE + 6) * 4 + 2], CODE_SEG
        mov al, VECTOR_BASE
        out PORT_INT_BASE, al
        mov ax, 4
        out PORT_HTIMER_RELOAD, ax
        mov al, TIMER_HBLANK_ON | TIMER_HBLANK_REPEAT
        out PORT_TIMER_CTRL, al
        mov al, 0xFF
        out PORT_INT_STATUS, al
        mov al, INT_HTIMER | INT_VBLANK
        out PORT_INT_ENABLE, al
        sti

        mov al, 0xE0                ; colour, 4 bits per pixel, packed
        out PORT_VIDEO_MODE, al
        mov al, (MAP2 / 0x800) << 4 | (MAP1 / 0x800)
        out PORT_MAP_BASE, al
        mov al, SPRITES / 512
        out PORT_SPRITE_BASE, al
        mov al, SPRITE_COUNT
        out PORT_SPRITE_COUNT, al

        ; palettes: 16 x 16 colours from a formula
        mov di, IRAM_PALETTE
        xor bx, bx
.colour:
        mov ax, bx
        imul ax, ax, 0x0135
        and ax, 0x0FFF
        stosw
        inc bx
        cmp bx, 256
        jb .colour

        ; tiles: stripes, checks and rings of the 16 colours
        mov di, TILES
        xor bx, bx                  ; tile
.tile:
        xor dx, dx                  ; row
.row:
        mov cx, 4
.pair:
        mov al, bl
        xor al, dl
        add al, cl
        and al, 0x0F
        mov ah, bl
        add ah, dl
        shr ah, 1
        xor ah, cl
        and ah, 0x0F
        shl al, 4
        or al, ah
        stosb
        loop .pair
        inc dx
        cmp dx, 8
        jb .row
        inc bx
        cmp bx, TILE_COUNT
        jb .tile

        ; maps: screen 1 in diagonals, screen 2 sparse (tile 0 is clear
        ; only where its pixels are 0: good enough for a busy picture)
        mov di, MAP1
        xor bx, bx
.map1:
        mov ax, bx
        mov cl, 5
        shr ax, cl
        add ax, bx
        and ax, TILE_COUNT - 1
        mov dx, bx
        and dx, 0x07
        shl dx, 9
        or ax, dx                   ; palettes 0-7
        stosw
        inc bx
        cmp bx, 1024
        jb .map1
        mov di, MAP2
        xor bx, bx
.map2:
        mov ax, bx
        imul ax, ax, 7
        and ax, TILE_COUNT - 1
        or ax, 0x4000 | (3 << 9)    ; flipped, palette 3
        test bl, 3
        jz .keep
        xor ax, ax
.keep:
        stosw
        inc bx
        cmp bx, 1024
        jb .map2

        ; sprites: positions and speeds
        mov di, SPRITE_STATE
        xor bx, bx
.sprite:
        mov ax, bx
        imul ax, ax, 37
        and ax, 0xFF
        stosw                       ; x
        mov ax, bx
        imul ax, ax, 23
        and ax, 0x7F
        stosw                       ; y
        mov ax, bx
        and ax, 3
        inc ax
        stosw                       ; dx
        mov ax, bx
        shr ax, 2
        and ax, 3
        inc ax
        stosw                       ; dy
        inc bx
        cmp bx, SPRITE_COUNT
        jb .sprite

        ; sound: waveforms, three channels and the noise
        mov di, WAVE_TABLE
        xor bx, bx
.wave:
        mov al, bl
        imul ax, ax, 0x35
        stosb
        inc bx
        cmp bx, 64
        jb .wave
        mov al, 0x0F
        out PORT_SOUND_OUTPUT, al
        mov al, 0x88
        out PORT_SOUND_VOLUME, al
        out PORT_SOUND_VOLUME + 1, al
        out PORT_SOUND_VOLUME + 2, al
        mov al, 0x33
        out PORT_SOUND_VOLUME + 3, al
        mov al, 0x8F                ; channels 1-3, channel 4 as noise
        out PORT_SOUND_CTRL, al

        mov al, 0x07                ; screens 1 and 2, sprites
        out PORT_DISPLAY_CTRL, al

main_loop:
        call work
        inc word [WORK_DONE]
        mov ax, [FRAME]
.wait:
        hlt
        inc word [IDLE]
        cmp ax, [FRAME]
        je .wait
        jmp main_loop

; work: one frame's round of game-like work.
work:
        ; move and bounce the sprites, write the sprite table
        mov si, SPRITE_STATE
        mov di, SPRITES
        mov cx, SPRITE_COUNT
.sprite:
        mov ax, [si]
        add ax, [si + 4]
        cmp ax, 216
        jb .x_in
        neg word [si + 4]
        add ax, [si + 4]
        add ax, [si + 4]
.x_in:
        mov [si], ax
        mov bx, [si + 2]
        add bx, [si + 6]
        cmp bx, 136
        jb .y_in
        neg word [si + 6]
        add bx, [si + 6]
        add bx, [si + 6]
.y_in:
        mov [si + 2], bx
        ; some arithmetic on the way: a distance-like figure
        push cx
        mov dx, ax
        imul dx, dx, 3
        mov cx, bx
        imul cx, cx, 5
        add dx, cx
        mov ax, dx
        xor dx, dx
        mov cx, 37
        div cx
        pop cx
        and ax, 0x3F                ; tile
        mov dx, cx
        and dx, 7
        shl dx, 9
        or ax, dx                   ; palette
        test cl, 1
        jz .behind
        or ax, 0x2000 | 0x4000      ; in front, flipped
.behind:
        mov [di], ax
        mov al, [si + 2]
        mov [di + 2], al
        mov al, [si]
        mov [di + 3], al
        add si, 8
        add di, 4
        loop .sprite

        ; memory moves: screen 2's map rows rotate by one
        mov si, MAP2
        mov di, BUFFER_A
        mov cx, 32
        rep movsw
        mov si, MAP2 + 64
        mov di, MAP2
        mov cx, 31 * 32
        rep movsw
        mov si, BUFFER_A
        mov cx, 32
        rep movsw

        ; string instructions: fill, copy, compare, scan, translate
        mov di, BUFFER_A
        mov ax, [FRAME]
        mov cx, 256
        rep stosw
        mov si, BUFFER_A
        mov di, BUFFER_B
        mov cx, 256
        rep movsw
        mov si, BUFFER_A
        mov di, BUFFER_B
        mov cx, 512
        repe cmpsb
        mov di, BUFFER_B
        mov al, 0xA5
        mov cx, 512
        repne scasb
        mov si, BUFFER_B
        mov di, BUFFER_A
        mov bx, bench_table
        mov cx, 256
.translate:
        lodsb
        cs xlatb
        stosb
        loop .translate

        ; a checksum over the result with adds, rotates and exclusive ors
        mov si, BUFFER_A
        mov cx, 256
        xor dx, dx
.sum:
        lodsw
        add dx, ax
        rol dx, 1
        xor dx, cx
        loop .sum
        mov [CHECKSUM], dx
        ret

vblank:
        pusha
        push es
        inc word [FRAME]
        mov ax, SAVE_SEG            ; the frame counter in save RAM
        mov es, ax
        add word [es:0], 1
        adc word [es:2], 0
        pop es
        ; both screens scroll
        inc word [SCROLL]
        mov ax, [SCROLL]
        out 0x10, al
        shr ax, 1
        out 0x11, al
        mov ax, [SCROLL]
        neg ax
        out 0x12, al
        ; palette 1 turns: its 16 colours move on by one
        mov si, IRAM_PALETTE + 32
        mov ax, [si]
        mov di, si
        add si, 2
        mov cx, 15
        rep movsw
        mov [di], ax
        ; a new note on channels 1-3 every eighth frame, noise every frame
        mov ax, [FRAME]
        test al, 7
        jnz .noise
        inc word [NOTE_STEP]
        mov bx, [NOTE_STEP]
        and bx, 7
        shl bx, 1
        mov ax, [cs:bench_notes + bx]
        out PORT_SOUND_PERIOD, al
        mov al, ah
        out PORT_SOUND_PERIOD + 1, al
        mov ax, [cs:bench_notes + bx]
        sub ax, 100
        out PORT_SOUND_PERIOD + 2, al
        mov al, ah
        out PORT_SOUND_PERIOD + 3, al
        mov ax, [cs:bench_notes + bx]
        add ax, 80
        out PORT_SOUND_PERIOD + 4, al
        mov al, ah
        out PORT_SOUND_PERIOD + 5, al
.noise:
        mov ax, [FRAME]
        and ax, 0x3F
        add ax, 1900
        out PORT_SOUND_PERIOD + 6, al
        mov al, ah
        out PORT_SOUND_PERIOD + 7, al
        mov al, INT_VBLANK
        out PORT_INT_STATUS, al
        popa
        iret

; Every fourth line: screen 2's scroll sways.
hblank:
        push ax
        in al, PORT_LINE
        shr al, 2
        add al, [SCROLL]
        out 0x13, al
        mov al, INT_HTIMER
        out PORT_INT_STATUS, al
        pop ax
        iret

bench_notes:    dw 1830, 1860, 1881, 1890, 1910, 1890, 1881, 1860
bench_table:
%assign bt_i 0
%rep 256
        db (bt_i * 7 + 3) & 0xFF
%assign bt_i bt_i + 1
%endrep

        CARTRIDGE_FOOTER CODE_SEG, start, 0x00, 1, 0x42, 0, 1, 0x01, 0
