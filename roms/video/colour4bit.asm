; Colour, 4 bits per pixel, packed. Sixteen colour palettes in the colour
; RAM, tiles of both pattern areas, flips, sprites; colour 0 is transparent
; in every palette. The picture, top to bottom:
;   lines 0-31    a grey ramp, black to white in 16 steps of 8 pixels; the
;                 first step of each ramp is colour 0 and shows the dark
;                 blue background
;   lines 32-63   a red ramp      lines 64-95   a green ramp
;   lines 96-127  a blue ramp     lines 128-143 rainbow diagonals
; Screen 2: a row of blue arrows with red flags over the grey ramp,
; pointing right, left, right upside down and left upside down (flag at the
; top left, top right, bottom left, bottom right), and a row of tiles from
; the second pattern area (gold squares) over the green ramp. Sprites, at the
; right of the blue ramp: the same four arrows in white and yellow, and a red
; square over a yellow one.
        bits 16
        cpu 186
%include "cart.inc"
%include "ws.inc"

S1_MAP  equ 0x0800
S2_MAP  equ 0x1000
SPRITES equ 0x0E00
TILES0  equ 0x4000
TILES1  equ 0x8000
T_RAINBOW equ 16
T_ARROW   equ 17

        org 0
start:
        jmp show_scene

%include "scene.inc"

scene_blocks:
        dw IRAM_PALETTE, palettes, palettes_end - palettes
        dw TILES0, tiles0, tiles0_end - tiles0
        dw TILES1, tiles1, tiles1_end - tiles1
        dw S1_MAP, screen1, 2048
        dw S2_MAP, screen2, 2048
        dw SPRITES, sprites, sprites_end - sprites
        dw 0xFFFF

scene_ports:
        db PORT_VIDEO_MODE, 0xE0                ; colour, 4 bits packed
        db PORT_BACK_COLOR, 0x6F                ; palette 6 colour 15
        db PORT_MAP_BASE, 0x21
        db PORT_SPRITE_BASE, SPRITES >> 9
        db PORT_SPRITE_FIRST, 0
        db PORT_SPRITE_COUNT, (sprites_end - sprites) / 4
        db PORT_DISPLAY_CTRL, 0x07              ; both screens and sprites
        db 0xFF

palettes:
%define RAMP_RGB(c) RGB(c, c, c)
        COLOUR_RAMP                             ; 0: grey
%define RAMP_RGB(c) RGB(c, 0, 0)
        COLOUR_RAMP                             ; 1: red
%define RAMP_RGB(c) RGB(0, c, 0)
        COLOUR_RAMP                             ; 2: green
%define RAMP_RGB(c) RGB(0, 0, c)
        COLOUR_RAMP                             ; 3: blue
        dw 0, RGB(15, 0, 0), RGB(15, 6, 0), RGB(15, 11, 0), RGB(15, 15, 0), RGB(8, 15, 0)
        dw RGB(0, 15, 0), RGB(0, 15, 8), RGB(0, 15, 15), RGB(0, 8, 15), RGB(0, 0, 15)
        dw RGB(6, 0, 15), RGB(11, 0, 15), RGB(15, 0, 15), RGB(15, 0, 8), RGB(15, 15, 15)
                                                ; 4: rainbow
        dw 0, RGB(15, 15, 15), RGB(15, 12, 0), RGB(12, 6, 0), RGB(8, 2, 0)
        times 11 dw 0                           ; 5: gold squares
        times 15 dw 0
        dw RGB(1, 1, 5)                         ; 6: colour 15 the background
        times 16 * 5 dw 0                       ; 7-11
        dw 0, RGB(15, 15, 0)
        times 8 dw 0
        dw RGB(15, 15, 15)
        times 4 dw 0
        dw RGB(15, 0, 0)                        ; 12: sprites
palettes_end:

; Packed rows: two pixels a byte, the left one in the high nibble.
tiles0:
        times 32 db 0x00                        ; 0: clear
%assign k 1
%rep 15
        times 32 db k * 0x11                    ; 1-15: solid colour k
%assign k k + 1
%endrep
%assign r 0                                     ; 16: diagonal rainbow 1-15
%rep 8
%assign x 0
%rep 4
        db ((((x * 2 + r) % 15) + 1) << 4) | (((x * 2 + 1 + r) % 15) + 1)
%assign x x + 1
%endrep
%assign r r + 1
%endrep
        db 0x11, 0x10, 0x00, 0x00               ; 17: arrow pointing right in
        db 0x11, 0x00, 0x00, 0x00               ;     colour 10, a flag of 1 at
        db 0x10, 0x00, 0xA0, 0x00               ;     its top left
        db 0x10, 0x00, 0xAA, 0x00
        db 0xAA, 0xAA, 0xAA, 0xA0
        db 0x00, 0x00, 0xAA, 0x00
        db 0x00, 0x00, 0xA0, 0x00
        db 0x00, 0x00, 0x00, 0x00
tiles0_end:

tiles1:
        times 32 db 0x00                        ; 0: clear
        db 0x11, 0x11, 0x11, 0x11               ; 1: concentric squares 1-4
        db 0x12, 0x22, 0x22, 0x21
        db 0x12, 0x33, 0x33, 0x21
        db 0x12, 0x34, 0x43, 0x21
        db 0x12, 0x34, 0x43, 0x21
        db 0x12, 0x33, 0x33, 0x21
        db 0x12, 0x22, 0x22, 0x21
        db 0x11, 0x11, 0x11, 0x11
tiles1_end:

%macro map_cell 0
%if row < 16
        dw MAP(col & 15, row >> 2)
%else
        dw MAP(T_RAINBOW, 4)
%endif
%endmacro
screen1:
        TILE_MAP
%unmacro map_cell 0

%macro map_cell 0
%if row == 1 && col >= 2 && col <= 17
        dw MAP(T_ARROW, 4) | (((col - 2) & 1) * HFLIP) | ((((col - 2) >> 1) & 1) * VFLIP)
%elif row == 9 && col >= 2 && col <= 25
        dw MAP(1, 5) | BANK1
%else
        dw 0
%endif
%endmacro
screen2:
        TILE_MAP
%unmacro map_cell 0

; Sprites: attribute word, y, x; palette 4 is palette 12. The red square
; comes first and so covers the yellow one.
sprites:
        dw T_ARROW | (4 << 9)
        db 104, 176
        dw T_ARROW | (4 << 9) | HFLIP
        db 104, 188
        dw T_ARROW | (4 << 9) | VFLIP
        db 116, 176
        dw T_ARROW | (4 << 9) | VFLIP | HFLIP
        db 116, 188
        dw 15 | (4 << 9)
        db 104, 204
        dw 1 | (4 << 9)
        db 108, 208
sprites_end:

        CARTRIDGE_FOOTER 0xF000, start, 0x00, 1, 0x41, 0, 1, 0x00, 0
