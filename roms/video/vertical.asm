; A cartridge held upright (footer flag bit 0): monochrome, 2 bits per pixel,
; packed, background from a palette colour. On the LCD the picture is drawn
; lying on its side, so that the player, who turns the console a quarter to
; the left, sees (144 x 224):
;   a big black arrow pointing up in the middle on a light grey background;
;   a black square at the bottom left corner (LCD pixels 0-7 of lines 0-7);
;   a sprite at the top left corner (LCD x 216-223, lines 0-7): a dark grey
;   triangle with its right angle at the top right, on white (colour 0 of
;   the sprite palettes 8-11 is opaque).
        bits 16
        cpu 186
%include "cart.inc"
%include "ws.inc"

S1_MAP  equ 0x0800
SPRITES equ 0x0E00
TILES   equ 0x2000
SOLID   equ 1
SLOPE   equ 2

        org 0
start:
        jmp show_scene

%include "scene.inc"

scene_blocks:
        dw TILES, tiles, tiles_end - tiles
        dw S1_MAP, screen1, 2048
        dw SPRITES, sprites, sprites_end - sprites
        dw 0xFFFF

scene_ports:
        db PORT_VIDEO_MODE, 0x20                ; monochrome, 2 bits packed
        db PORT_SHADE_SELECT + 0, 0x20          ; shades 0, 1: levels 0, 2
        db PORT_SHADE_SELECT + 1, 0xA5          ; shades 2, 3: levels 5, 10
        db PORT_SHADE_SELECT + 2, 0xFF          ; shades 4, 5: black
        db PORT_MONO_PALETTE + 0, 0x10          ; palette 0: shades 0, 1,
        db PORT_MONO_PALETTE + 1, 0x42          ;            2, 4
        db PORT_MONO_PALETTE + 8, 0x00          ; palette 4: (clear), 0,
        db PORT_MONO_PALETTE + 9, 0x40          ;            0, 4
        db PORT_MONO_PALETTE + 16, 0x00         ; palette 8: 0, 0,
        db PORT_MONO_PALETTE + 17, 0x30         ;            0, 3
        db PORT_BACK_COLOR, 0x01                ; palette 0 colour 1
        db PORT_MAP_BASE, 0x01
        db PORT_SPRITE_BASE, SPRITES >> 9
        db PORT_SPRITE_FIRST, 0
        db PORT_SPRITE_COUNT, (sprites_end - sprites) / 4
        db PORT_DISPLAY_CTRL, 0x05              ; screen 1 and sprites
        db 0xFF

tiles:
        times 8 db 0x00, 0x00                   ; 0: clear
        times 8 db 0xFF, 0xFF                   ; 1: solid 3
%define PIXEL(x, r) ((x) <= (r) ? 3 : 0)
        PACKED2_TILE                            ; 2: 3 where x <= r (lower left)
tiles_end:

; On the LCD the arrow points right (towards x 223, the top of the upright
; picture): a shaft on tile rows 8-9, columns 6-19, and a head on rows 5-12,
; columns 20-23 whose slopes are the triangle tile and its vertical mirror.
%macro map_cell 0
%if row == 0 && col == 0
        dw MAP(SOLID, 4)
%elif (row == 8 || row == 9) && col >= 6 && col <= 19
        dw MAP(SOLID, 4)
%elif row >= 5 && row <= 8 && col >= 20 && col < 20 + (row - 5)
        dw MAP(SOLID, 4)
%elif row >= 5 && row <= 8 && col == 20 + (row - 5)
        dw MAP(SLOPE, 4)
%elif row >= 9 && row <= 12 && col >= 20 && col < 23 - (row - 9)
        dw MAP(SOLID, 4)
%elif row >= 9 && row <= 12 && col == 23 - (row - 9)
        dw MAP(SLOPE, 4) | VFLIP
%else
        dw MAP(0, 4)
%endif
%endmacro
screen1:
        TILE_MAP
%unmacro map_cell 0

sprites:
        dw SLOPE | HFLIP                        ; palette 8
        db 0, 216
sprites_end:

        CARTRIDGE_FOOTER 0xF000, start, 0x00, 0, 0x43, 0, 1, 0x00, 1
