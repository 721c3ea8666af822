; Monochrome, 2 bits per pixel, planar. Eight shades from the sixteen levels,
; five palettes over them, both screens, flips and palettes whose colour 0 is
; transparent. The picture, top to bottom (screen 1 scrolled 3 pixels left):
;   lines 0-47    bars of four greys, white to black, 2 pixels each
;   lines 48-95   a zigzag of dark and light triangles (one tile, four flips)
;   lines 96-143  a dark checkerboard whose holes show the mid-grey background
; Screen 2 (scrolled 4 lines up) lays over it: a framed box at the top left,
; a row of rings whose insides show screen 1, and a second checkerboard.
        bits 16
        cpu 186
%include "cart.inc"
%include "ws.inc"

S1_MAP  equ 0x0800
S2_MAP  equ 0x1000
TILES   equ 0x2000

        org 0
start:
        jmp show_scene

%include "scene.inc"

scene_blocks:
        dw TILES, tiles, tiles_end - tiles
        dw S1_MAP, screen1, 2048
        dw S2_MAP, screen2, 2048
        dw 0xFFFF

scene_ports:
        db PORT_VIDEO_MODE, 0x00                ; monochrome, 2 bits planar
        db PORT_SHADE_SELECT + 0, 0x20          ; shades 0, 1: levels 0, 2
        db PORT_SHADE_SELECT + 1, 0x64          ; shades 2, 3: levels 4, 6
        db PORT_SHADE_SELECT + 2, 0xB9          ; shades 4, 5: levels 9, 11
        db PORT_SHADE_SELECT + 3, 0xFD          ; shades 6, 7: levels 13, 15
        db PORT_MONO_PALETTE + 0, 0x20          ; palette 0: shades 0, 2,
        db PORT_MONO_PALETTE + 1, 0x75          ;            5, 7
        db PORT_MONO_PALETTE + 2, 0x57          ; palette 1: 7, 5,
        db PORT_MONO_PALETTE + 3, 0x02          ;            2, 0
        db PORT_MONO_PALETTE + 4, 0x31          ; palette 2: 1, 3,
        db PORT_MONO_PALETTE + 5, 0x64          ;            4, 6
        db PORT_MONO_PALETTE + 8, 0x70          ; palette 4: (clear), 7,
        db PORT_MONO_PALETTE + 9, 0x14          ;            4, 1
        db PORT_MONO_PALETTE + 10, 0x00         ; palette 5: (clear), 0,
        db PORT_MONO_PALETTE + 11, 0x76         ;            6, 7
        db PORT_BACK_COLOR, 3                   ; shade 3
        db PORT_MAP_BASE, 0x21                  ; screen 1 at 0x0800, 2 at 0x1000
        db 0x10, 3                              ; screen 1 scroll x
        db 0x13, 4                              ; screen 2 scroll y
        db PORT_DISPLAY_CTRL, 0x03              ; both screens
        db 0xFF

; Tile rows: plane 0 (bit 0 of each pixel), plane 1 (bit 1), leftmost pixel
; in bit 7.
tiles:
        times 8 db 0x00, 0x00                   ; 0: blank
        times 8 db 0x33, 0x0F                   ; 1: bars of values 0, 1, 2, 3
        times 2 db 0xCC, 0xCC, 0xCC, 0xCC, 0x33, 0x33, 0x33, 0x33
                                                ; 2: 2 x 2 checks of 3 and 0
        db 0xFF, 0x80, 0xFF, 0xC0, 0xFF, 0xE0, 0xFF, 0xF0
        db 0xFF, 0xF8, 0xFF, 0xFC, 0xFF, 0xFE, 0xFF, 0xFF
                                                ; 3: lower left triangle 3, rest 1
        db 0xFF, 0xFF
        times 6 db 0x81, 0xFF
        db 0xFF, 0xFF                           ; 4: frame 3 around 2
        db 0x3C, 0x3C, 0x66, 0x66, 0xC3, 0xC3, 0xDB, 0xC3
        db 0xDB, 0xC3, 0xC3, 0xC3, 0x66, 0x66, 0x3C, 0x3C
                                                ; 5: ring 3 with a dot of 1
tiles_end:

%macro map_cell 0
%if row < 6
        dw MAP(1, 0)
%elif row < 12
        dw MAP(3, 2) | ((col & 1) * HFLIP) | ((row & 1) * VFLIP)
%elif row < 18
        dw MAP(2, 5)
%else
        dw MAP(4, 1)
%endif
%endmacro
screen1:
        TILE_MAP
%unmacro map_cell 0

%macro map_cell 0
%if row >= 1 && row <= 3 && col >= 2 && col <= 9
        dw MAP(4, 0)
%elif row == 8 && col >= 12 && col <= 27
        dw MAP(5, 4)
%elif row >= 13 && row <= 16 && col >= 18 && col <= 25
        dw MAP(2, 4)
%else
        dw MAP(0, 4)
%endif
%endmacro
screen2:
        TILE_MAP
%unmacro map_cell 0

        CARTRIDGE_FOOTER 0xF000, start, 0x00, 0, 0x40, 0, 1, 0x00, 0
