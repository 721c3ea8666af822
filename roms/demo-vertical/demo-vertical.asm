; The demo's twin for the console held upright (footer flags bit 0): the
; same engine, art and tune (roms/include/demo), laid out for the LCD turned
; a quarter turn. Title: the painted landscape stacked from the clouds down
; to the lake, the sky lit from the right by the setting sun, the logo and
; the record. Scene: the kestrel climbs through clouds that stream down and
; sway (HBlank timer); the panel at the bottom is screen 2 seen through its
; window. Coordinates in the comments are the player's (144 x 224).
%define VERTICAL 1
%include "demo/demo.inc"

; Canvases (global tile numbers). A band of h rows across the upright
; screen is h / 8 tiles wide and 18 tiles high on the LCD.
CV_CLOUDS       equ TILE_CANVAS                 ; 144 x 64
CV_PEAKS        equ CV_CLOUDS + 8 * 18          ; 144 x 40
CV_HILLS        equ CV_PEAKS + 5 * 18           ; 144 x 24
CV_GROUND       equ CV_HILLS + 3 * 18           ; 144 x 16
CV_WATER        equ CV_GROUND + 2 * 18          ; 64 x 32, repeated
CV_SKY          equ CV_WATER + 4 * 8            ; 144 x 128, the scene

; LCD column (tile) of a band that starts at upright row r and is h high
%define BAND_COL(r, h) ((224 - (r) - (h)) / 8)

LAYOUT_TITLE_BIRD_X equ 224 - 76 - 16           ; upright (60, 76)
LAYOUT_TITLE_BIRD_Y equ 60
LAYOUT_START_X  equ 224 - 140 - 16              ; upright (64, 140)
LAYOUT_START_Y  equ 64
LAYOUT_MIN_X    equ 24                          ; above the panel
LAYOUT_MAX_X    equ 208
LAYOUT_MIN_Y    equ 0
LAYOUT_MAX_Y    equ 128
LAYOUT_FACE_LEFT  equ KEY_X1 | KEY_Y1
LAYOUT_FACE_RIGHT equ KEY_X3 | KEY_Y3
LAYOUT_WINDOW_HALF equ 72

layout_build:
        ; the sky first: the bands show as they are painted
        mov si, sky_lines
        mov di, RAST_BG
        mov cx, RAST_LINES / 2
        CS_REP_MOVSW
        mov ax, CV_CLOUDS
        mov bx, 8
        mov cx, 144
        mov dx, 64
        mov si, 255
        call use_canvas
        mov si, title_clouds
        call paint_wide_clouds

        mov ax, CV_PEAKS
        mov bx, 5
        mov dx, 40
        call use_band
        mov cx, 112                 ; the sun on the right
        mov dx, 16
        call paint_peaks

        mov ax, CV_HILLS
        mov bx, 3
        mov dx, 24
        call use_band
        call paint_hills

        mov ax, CV_GROUND
        mov bx, 2
        mov dx, 16
        call use_band
        call paint_ground

        mov ax, CV_WATER
        mov bx, 4
        mov cx, 64
        mov dx, 32
        mov si, 63
        call use_canvas
        call paint_water

        mov ax, CV_SKY
        mov bx, 16
        mov cx, 144
        mov dx, 128
        mov si, 255
        call use_canvas
        mov si, sky_clouds
        call paint_wide_clouds

        ret

; use_band: AX = first tile, BX = LCD width in tiles, DX = rows: a
; band across the whole upright width.
use_band:
        mov cx, 144
        mov si, 255
        jmp use_canvas

paint_wide_clouds:
        mov byte [disc_wide], 1
        call paint_clouds
        mov byte [disc_wide], 0
        ret

title_clouds:   db 12,56,4, 22,53,6, 35,54,5, 44,57,3
                db 98,57,4, 108,53,6, 121,55,5, 131,58,3
                db 0,0,0
sky_clouds:     db 20,22,5, 32,18,7, 46,20,6
                db 96,50,5, 108,46,7, 122,48,6, 132,52,4
                db 30,88,4, 42,84,6, 55,86,5
                db 104,108,4, 114,104,5
                db 0,0,0

; layout_title: the landscape on screen 1, the text on screen 2.
layout_title:
        mov di, MAP1
        xor ax, ax
        call fill_map
        ; the lake first: the 4 x 8 block over LCD columns 0-11 (the
        ; ground covers the last two)
        mov dx, 4
        mov cx, 0x0804
        mov ax, CV_WATER
        mov bx, 4 * MAP_PAL
        mov di, MAP1
.lake:
        push di
        call place_block
        add di, 8
        call place_block
        add di, 8
        call place_block
        pop di
        add di, 8 * 64
        cmp di, MAP1 + 24 * 64
        jb .lake
        mov dx, 8
        mov cx, 0x1208
        mov di, MAP1 + BAND_COL(0, 64) * 2
        mov ax, CV_CLOUDS
        mov bx, 0 * MAP_PAL
        call place_block
        mov dx, 5
        mov cx, 0x1205
        mov di, MAP1 + BAND_COL(64, 40) * 2
        mov ax, CV_PEAKS
        mov bx, 1 * MAP_PAL
        call place_block
        mov dx, 3
        mov cx, 0x1203
        mov di, MAP1 + BAND_COL(104, 24) * 2
        mov ax, CV_HILLS
        mov bx, 2 * MAP_PAL
        call place_block
        mov dx, 2
        mov cx, 0x1202
        mov di, MAP1 + BAND_COL(128, 16) * 2
        mov ax, CV_GROUND
        mov bx, 3 * MAP_PAL
        call place_block
        mov di, MAP2
        xor ax, ax
        call fill_map
        mov di, TXT(MAP2, 1, 3)
        mov ax, 5 * MAP_PAL
        call put_logo
        mov si, text_sub1
        mov di, TXT(MAP2, 4, 4)
        mov ax, TEXT_WHITE
        call print
        mov si, text_sub2
        mov di, TXT(MAP2, 5, 5)
        call print
        mov si, text_plays
        mov di, TXT(MAP2, 24, 4)
        call print
        mov ax, [plays]
        mov cx, 4
        mov bx, TEXT_GOLD
        call print_number
        mov si, text_best
        mov di, TXT(MAP2, 26, 4)
        mov ax, TEXT_WHITE
        call print
        mov ax, [best_secs]
        mov bx, TEXT_GOLD
        call print_time
        xor al, al
        mov di, RAST_S2X
        mov cx, RAST_LINES
        rep stosb
        mov di, RAST_S1X
        mov cx, RAST_LINES
        rep stosb
        ret

; layout_title_frame: "PRESS START" blinks.
layout_title_frame:
        mov di, TXT(MAP2, 21, 3)
        mov si, text_start
        mov ax, TEXT_GOLD
        test byte [frame], 32
        jz .show
        mov si, text_no_start
.show:
        jmp print

; layout_scene: the clouds twice across screen 1, the panel on screen 2.
layout_scene:
        mov di, MAP1
        xor ax, ax
        call fill_map
        mov dx, 16
        mov cx, 0x1210
        mov ax, CV_SKY
        mov bx, 0 * MAP_PAL
        mov di, MAP1
        call place_block
        mov di, MAP1 + 32
        call place_block

        mov di, MAP2
        xor ax, ax
        call fill_map
        mov cx, 18                  ; the panel, blank: LCD columns 0-2
        mov di, MAP2
        mov ax, ' ' + PANEL_WHITE
.panel:
        mov [di], ax
        mov [di + 2], ax
        mov [di + 4], ax
        add di, 64
        loop .panel
        mov si, text_keys1
        mov di, TXT(MAP2, 25, 1)
        mov ax, PANEL_DIM
        call print
        mov si, text_keys2
        mov di, TXT(MAP2, 26, 1)
        call print
        mov word [TXT(MAP2, 25, 1)], 'X' + PANEL_WHITE
        mov word [TXT(MAP2, 25, 9)], 'Y' + PANEL_WHITE
        mov si, text_time
        mov di, TXT(MAP2, 27, 1)
        mov ax, PANEL_WHITE
        call print
        mov word [TXT(MAP2, 27, 12)], '*' + PANEL_GOLD
        xor ax, ax
        call set_window
        ret

; set_window: AX = half height (upright: half width) of screen 2's window
; over the panel, LCD columns 0-23.
set_window:
        push ax
        mov ah, al
        xor al, al
        out 0x08, al                ; left
        mov al, 23
        out 0x0A, al                ; right
        mov al, 72
        sub al, ah
        out 0x09, al                ; top
        mov al, 71
        add al, ah
        out 0x0B, al                ; bottom
        pop ax
        ret

; layout_scene_frame: the clouds stream down the upright screen and sway
; line by line; the window opens; the times are shown.
layout_scene_frame:
        inc word [cam_x]
        mov di, RAST_S1X
        xor cx, cx
.line:
        mov al, cl
        shl al, 2
        add al, [frame]
        call sine
        sar ax, 5
        add ax, [cam_x]
        stosb
        inc cx
        cmp cx, RAST_LINES
        jb .line
        mov al, [RAST_S1X]
        mov [RAST_S1X + 159], al
        mov ax, [window_open]
        call set_window
        mov ax, [play_secs]
        mov di, TXT(MAP2, 27, 6)
        mov bx, PANEL_GOLD
        call print_time
        mov ax, [best_secs]
        mov di, TXT(MAP2, 27, 13)
        call print_time
        ret

text_sub1:      db "A HANDHELD", 0
text_sub2:      db "EMULATOR", 0
text_keys1:     db "X <^>_  Y <^>_", 0
text_keys2:     db "A  B  OPT  START", 0

; The keys held upright: X1-X4 and Y1-Y4 are left, up, right, down.
%define KEYCELL(r, c, key) dw TXT(MAP2, r, c), key
key_cells:
        KEYCELL(25, 3, KEY_X1)
        KEYCELL(25, 4, KEY_X2)
        KEYCELL(25, 5, KEY_X3)
        KEYCELL(25, 6, KEY_X4)
        KEYCELL(25, 11, KEY_Y1)
        KEYCELL(25, 12, KEY_Y2)
        KEYCELL(25, 13, KEY_Y3)
        KEYCELL(25, 14, KEY_Y4)
        KEYCELL(26, 1, KEY_A)
        KEYCELL(26, 4, KEY_B)
        KEYCELL(26, 7, KEY_OPTION)
        KEYCELL(26, 8, KEY_OPTION)
        KEYCELL(26, 9, KEY_OPTION)
        KEYCELL(26, 12, KEY_START)
        KEYCELL(26, 13, KEY_START)
        KEYCELL(26, 14, KEY_START)
        KEYCELL(26, 15, KEY_START)
        KEYCELL(26, 16, KEY_START)
        dw 0

; The kestrel turned with the screen: an upright quarter (column c, row r)
; of the 16 x 16 bird lies at LCD (8 - r, c); facing left is the LCD's
; vertical flip.
%macro BIRD 2                       ; frame tile, flip
%if %2
        db 8, 0
        dw (%1 + 1) | SPR_VFLIP
        db 8, 8
        dw (%1) | SPR_VFLIP
        db 0, 0
        dw (%1 + 3) | SPR_VFLIP
        db 0, 8
        dw (%1 + 2) | SPR_VFLIP
%else
        db 8, 0
        dw %1
        db 8, 8
        dw %1 + 1
        db 0, 0
        dw %1 + 2
        db 0, 8
        dw %1 + 3
%endif
%endmacro
bird_frames:
        BIRD TILE_BIRD, 0
        BIRD TILE_BIRD + 4, 0
        BIRD TILE_BIRD, 1
        BIRD TILE_BIRD + 4, 1

sparkle_params:
        SPARKLE_PARAMS 4242, 116, 68, 66, 50

sky_lines:
        SKY_LINES 144

        CARTRIDGE_FOOTER CODE_SEG, start, 0x00, 1, 0x4C, 0, 1, 0x01, 1
