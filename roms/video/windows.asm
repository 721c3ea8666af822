; Colour, 2 bits per pixel, packed: the screen 2 window, the sprite window,
; sprite priority, overlapping sprites and sprites at the edges. The picture:
;   screen 1: red bricks everywhere;
;   screen 2: blue stripes, shown only inside its window (x 40-183, lines
;             24-119);
;   sprite window: x 112-223, lines 0-71 (the top right); balls:
;   - yellow, drawn only inside the sprite window: a row at line 36 from
;     x 88, cut off at x 112;
;   - magenta, drawn only outside it: a row at line 68 from x 140 showing
;     only its lower halves, and one whole ball at x 100;
;   - green, outside the sprite window: a row at line 90 behind screen 2
;     (hidden where the stripes are) and a row at line 104 in front of it;
;   - a cyan ball over a yellow one at the top left;
;   - magenta halves at the left edge (line 130), the top edge (x 60) and the
;     right edge (line 136).
        bits 16
        cpu 186
%include "cart.inc"
%include "ws.inc"

S1_MAP  equ 0x0800
S2_MAP  equ 0x1000
SPRITES equ 0x0E00
TILES   equ 0x2000
BALL    equ 3

        org 0
start:
        jmp show_scene

%include "scene.inc"

scene_blocks:
        dw IRAM_PALETTE, palettes, palettes_end - palettes
        dw TILES, tiles, tiles_end - tiles
        dw S1_MAP, screen1, 2048
        dw S2_MAP, screen2, 2048
        dw SPRITES, sprites, sprites_end - sprites
        dw 0xFFFF

scene_ports:
        db PORT_VIDEO_MODE, 0xA0                ; colour, 2 bits packed
        db PORT_BACK_COLOR, 0x00
        db PORT_MAP_BASE, 0x21
        db 0x08, 40, 0x09, 24, 0x0A, 183, 0x0B, 119     ; screen 2 window
        db 0x0C, 112, 0x0D, 0, 0x0E, 223, 0x0F, 71      ; sprite window
        db PORT_SPRITE_BASE, SPRITES >> 9
        db PORT_SPRITE_FIRST, 0
        db PORT_SPRITE_COUNT, (sprites_end - sprites) / 4
        db PORT_DISPLAY_CTRL, 0x2F      ; screens, sprites, both windows
        db 0xFF

palettes:
        dw 0, RGB(8, 8, 8), RGB(10, 3, 2), 0            ; 0: bricks
        times 12 dw 0
        dw 0, RGB(2, 4, 12), 0, RGB(6, 10, 15)          ; 1: stripes
        times 12 dw 0
        times 16 * 10 dw 0                              ; 2-11
        dw 0, RGB(0, 6, 0), RGB(2, 13, 2), RGB(15, 15, 15)      ; 12: green
        times 12 dw 0
        dw 0, RGB(8, 7, 0), RGB(15, 14, 0), RGB(15, 15, 15)     ; 13: yellow
        times 12 dw 0
        dw 0, RGB(7, 0, 7), RGB(14, 2, 14), RGB(15, 15, 15)     ; 14: magenta
        times 12 dw 0
        dw 0, RGB(0, 6, 8), RGB(0, 13, 15), RGB(15, 15, 15)     ; 15: cyan
        times 12 dw 0
palettes_end:

; Packed rows: pixels 0-3 in the first byte, 4-7 in the second, two bits
; each, the leftmost in the top bits.
tiles:
        times 8 db 0x00, 0x00                   ; 0: blank
        db 0x55, 0x55, 0x6A, 0xAA, 0x6A, 0xAA, 0x6A, 0xAA
        db 0x55, 0x55, 0xAA, 0x6A, 0xAA, 0x6A, 0xAA, 0x6A
                                                ; 1: bricks 2 in mortar 1
%define PIXEL(x, r) (((((x) + (r)) >> 1) & 1) ? 3 : 1)
        PACKED2_TILE                            ; 2: diagonal stripes 3 and 1
        db 0x0A, 0xA0, 0x2A, 0xA8, 0xAF, 0xAA, 0xAF, 0xAA
        db 0xAA, 0xAA, 0xAA, 0xA6, 0x2A, 0x98, 0x0A, 0xA0
                                                ; 3: ball 2, lit 3, shadow 1
tiles_end:

screen1:
        times 32 * 32 dw MAP(1, 0)
screen2:
        times 32 * 32 dw MAP(2, 1)

; Attribute word (palette 4-7 is 12-15), y, x. The first entry is drawn on
; top of all others.
%macro SPRITE 3
        dw %1
        db %2, %3
%endmacro
YELLOW  equ BALL | (5 << 9) | FRONT
MAGENTA equ BALL | (6 << 9) | OUTSIDE | FRONT
GREEN   equ BALL | (4 << 9) | OUTSIDE
CYAN    equ BALL | (7 << 9) | OUTSIDE
sprites:
        SPRITE CYAN, 8, 8                       ; over the next one
        SPRITE YELLOW | OUTSIDE, 12, 12
%assign x 88
%rep 6
        SPRITE YELLOW, 36, x                    ; inside the sprite window only
%assign x x + 10
%endrep
%assign x 140
%rep 4
        SPRITE MAGENTA, 68, x                   ; outside it only
%assign x x + 10
%endrep
        SPRITE MAGENTA, 68, 100
%assign x 24
%rep 4
        SPRITE GREEN, 90, x                     ; behind screen 2
        SPRITE GREEN | FRONT, 104, x            ; in front of it
%assign x x + 10
%endrep
        SPRITE MAGENTA, 130, 0xFC               ; x -4
        SPRITE MAGENTA, 0xFC, 60                ; y -4
        SPRITE MAGENTA, 136, 220
sprites_end:

        CARTRIDGE_FOOTER 0xF000, start, 0x00, 1, 0x42, 0, 1, 0x00, 0
