; A still picture for screenshot checks of the window: colour mode, 2-bit
; planar tiles, screen 1 only. Every 8 x 8 tile shows another pattern and
; every band of rows another palette, so a wrong scale or offset shows.
        bits 16
        cpu 186
%include "cart.inc"

        org 0
start:
        cli
        cld
        xor ax, ax
        mov es, ax
        mov ds, ax

        mov al, 0x80                    ; colour palettes, 2-bit planar tiles
        out 0x60, al

        ; Palette p, colour c (p 0-7, c 0-3) at 0xFE00 + 32p + 2c:
        ; red 2p+1, green 5c, blue 15-2p.
        mov di, 0xFE00
        xor bx, bx                      ; bl = p
.palette:
        xor cx, cx                      ; cl = c
.colour:
        mov al, cl
        mov dl, 5
        mul dl                          ; ax = 5c (ah is lost)
        shl al, 4                       ; green in bits 4-7
        mov ah, bl
        shl ah, 1
        inc ah                          ; red again
        mov dl, 15
        sub dl, bl
        sub dl, bl                      ; blue
        or al, dl
        stosw
        inc cl
        cmp cl, 4
        jb .colour
        add di, 32 - 8
        inc bl
        cmp bl, 8
        jb .palette

        ; Tiles 0-3 from the table below into 0x2000.
        push cs
        pop ds
        mov si, tiles
        mov di, 0x2000
        mov cx, tiles_end - tiles
        rep movsb
        xor ax, ax
        mov ds, ax

        ; Screen 1's map at 0x0800: tile (x + y) & 3, palette (y / 4) & 7.
        mov di, 0x0800
        xor dx, dx                      ; dl = y
.row:
        xor cx, cx                      ; cl = x
.cell:
        mov al, cl
        add al, dl
        and ax, 3
        mov bl, dl
        shr bl, 2
        and bx, 7
        shl bx, 9
        or ax, bx
        stosw
        inc cl
        cmp cl, 32
        jb .cell
        inc dl
        cmp dl, 32
        jb .row

        xor al, al
        out 0x10, al                    ; no scroll
        out 0x11, al
        mov al, 0x01
        out 0x07, al                    ; screen 1 map at 0x0800
        out 0x00, al                    ; screen 1 on
        out 0x14, al                    ; LCD on
.idle:
        jmp .idle

; Rows of two bit planes each.
tiles:
        times 8 db 0x00, 0x00           ; colour 0
        times 4 db 0xFF, 0x00, 0x00, 0xFF ; stripes of colours 1 and 2
        db 0x80, 0x80, 0x40, 0x40, 0x20, 0x20, 0x10, 0x10   ; a diagonal of colour 3
        db 0x08, 0x08, 0x04, 0x04, 0x02, 0x02, 0x01, 0x01
        times 4 db 0xAA, 0xAA, 0x55, 0x00 ; checks of colours 3 and 1
tiles_end:

        CARTRIDGE_FOOTER 0xF000, start, 0x00, 1, 0x02, 0, 0x01, 0, 0x00
