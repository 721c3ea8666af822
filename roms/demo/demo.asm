; Kestra's colour demo, the cartridge `make run` starts.
;
; Title: a painted sunset landscape under a sky whose colour changes line by
; line (HBlank timer interrupt), the logo in our own big letters, a hovering
; kestrel, the number of plays and the best play time from save RAM, and
; "PRESS START". Scene: the landscape scrolls in five bands at their own
; speeds (raster parallax) with rippling water; screen 2 carries a panel
; seen through its window (which opens at the start) with a ticker, the held
; keys and the play timer; the X and Y pads fly the kestrel, A calls, B
; zaps, Option stops the tune, Start goes back to the title.
%define VERTICAL 0
%include "demo/demo.inc"

; Canvases (global tile numbers), one band of the landscape each.
CV_CLOUDS       equ TILE_CANVAS                 ; 32 x 4 tiles
CV_PEAKS        equ CV_CLOUDS + 32 * 4          ; 32 x 5
CV_HILLS        equ CV_PEAKS + 32 * 5           ; 32 x 3
CV_GROUND       equ CV_HILLS + 32 * 3           ; 32 x 2
CV_WATER        equ CV_GROUND + 32 * 2          ; 8 x 4, repeated

; Lines of the bands
BAND_PEAKS      equ 32
BAND_HILLS      equ 72
BAND_GROUND     equ 96
BAND_WATER      equ 112
HUD_TOP         equ 120

LAYOUT_TITLE_BIRD_X equ 132
LAYOUT_TITLE_BIRD_Y equ 40
LAYOUT_START_X  equ 40
LAYOUT_START_Y  equ 56
LAYOUT_MIN_X    equ 0
LAYOUT_MAX_X    equ 208
LAYOUT_MIN_Y    equ 0
LAYOUT_MAX_Y    equ HUD_TOP - 16
LAYOUT_FACE_LEFT  equ KEY_X4 | KEY_Y4
LAYOUT_FACE_RIGHT equ KEY_X2 | KEY_Y2
LAYOUT_WINDOW_HALF equ 112

layout_build:
        ; screen 1 and the sky first: the bands show as they are painted
        mov dx, 32
        mov cx, 0x0420
        mov di, MAP1
        mov ax, CV_CLOUDS
        mov bx, 0 * MAP_PAL
        call place_block
        mov cx, 0x0520
        mov di, MAP1 + 4 * 64
        mov ax, CV_PEAKS
        mov bx, 1 * MAP_PAL
        call place_block
        mov cx, 0x0320
        mov di, MAP1 + 9 * 64
        mov ax, CV_HILLS
        mov bx, 2 * MAP_PAL
        call place_block
        mov cx, 0x0220
        mov di, MAP1 + 12 * 64
        mov ax, CV_GROUND
        mov bx, 3 * MAP_PAL
        call place_block
        mov dx, 8
        mov cx, 0x0408
        mov ax, CV_WATER
        mov bx, 4 * MAP_PAL
        mov di, MAP1 + 14 * 64
.water:
        call place_block
        add di, 16
        cmp di, MAP1 + 14 * 64 + 64
        jb .water
        ; the sky's colours, line by line
        mov si, sky_lines
        mov di, RAST_BG
        mov cx, RAST_LINES / 2
        CS_REP_MOVSW
        mov ax, CV_CLOUDS
        mov bx, 32
        mov cx, 256
        mov dx, 32
        mov si, 255
        call use_canvas
        mov si, clouds
        mov byte [disc_wide], 1
        call paint_clouds
        mov byte [disc_wide], 0

        mov ax, CV_PEAKS
        mov dx, 40
        call use_canvas_256
        mov cx, 204                 ; the sun behind the peaks
        mov dx, 16
        call paint_peaks

        mov ax, CV_HILLS
        mov dx, 24
        call use_canvas_256
        call paint_hills

        mov ax, CV_GROUND
        mov dx, 16
        call use_canvas_256
        call paint_ground

        mov ax, CV_WATER
        mov bx, 8
        mov cx, 64
        mov dx, 32
        mov si, 63
        call use_canvas
        call paint_water

        ret

; use_canvas_256: AX = first tile, DX = height; 32 tiles and 256 pixels
; wide, wrapping.
use_canvas_256:
        mov bx, 32
        mov cx, 256
        mov si, 255
        jmp use_canvas

clouds: db 24,22,5, 34,18,7, 47,16,8, 60,19,6, 70,23,4, 42,24,5, 56,25,4
        db 118,12,4, 128,9,6, 140,11,5, 132,14,4
        db 180,25,4, 190,21,6, 204,18,8, 219,21,6, 230,25,4, 208,26,5
        db 248,8,3, 2,6,5, 14,8,4
        db 0,0,0

; layout_title: the logo, the record and "PRESS START" on screen 2, the
; picture unscrolled.
layout_title:
        mov di, MAP2
        xor ax, ax
        call fill_map
        mov di, TXT(MAP2, 1, 8)
        mov ax, 5 * MAP_PAL
        call put_logo
        mov si, text_subtitle
        mov di, TXT(MAP2, 4, 5)
        mov ax, TEXT_WHITE
        call print
        mov si, text_plays
        mov di, TXT(MAP2, 17, 2)
        mov ax, TEXT_WHITE
        call print
        mov ax, [plays]
        mov cx, 4
        mov bx, TEXT_GOLD
        call print_number
        mov si, text_best
        mov di, TXT(MAP2, 17, 17)
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

; layout_title_frame: the water ripples; "PRESS START" blinks.
layout_title_frame:
        xor bx, bx
        call ripple_water
        mov di, TXT(MAP2, 15, 8)
        mov si, text_start
        mov ax, TEXT_GOLD
        test byte [frame], 32
        jz .show
        mov si, text_no_start
.show:
        jmp print

; ripple_water: BX = scroll of the water lines; each line moves by up to
; two pixels on a wave that travels down.
ripple_water:
        mov di, RAST_S1X + BAND_WATER
        mov cx, BAND_WATER
.line:
        mov al, cl
        shl al, 3
        mov ah, [frame]
        add al, ah
        add al, ah
        add al, ah
        call sine
        sar ax, 6
        add ax, bx
        stosb
        inc cx
        cmp cx, 144
        jb .line
        ret

; layout_scene: the panel on screen 2, the window closed.
layout_scene:
        mov di, MAP2
        xor ax, ax
        call fill_map
        mov di, TXT(MAP2, 15, 0)    ; the panel, blank
        mov ax, ' ' + PANEL_WHITE
        mov cx, 3 * 32
        rep stosw
        mov si, ticker_text         ; the first 29 characters of the ticker
        mov di, TXT(MAP2, 15, 0)
        mov cx, 29
.ticker:
        cs lodsb
        xor ah, ah
        add ax, PANEL_WHITE
        stosw
        loop .ticker
        mov word [ticker_next], 29
        mov si, text_keys
        mov di, TXT(MAP2, 16, 1)
        mov ax, PANEL_DIM
        call print
        mov di, TXT(MAP2, 16, 1)    ; the pad names stay white
        mov word [di], 'X' + PANEL_WHITE
        mov word [di + 7 * 2], 'Y' + PANEL_WHITE
        mov si, text_time
        mov di, TXT(MAP2, 17, 1)
        mov ax, PANEL_WHITE
        call print
        mov si, text_best
        mov di, TXT(MAP2, 17, 15)
        call print
        xor ax, ax
        call set_window
        ret

; set_window: AX = half width of screen 2's window over the panel.
set_window:
        push ax
        mov ah, al
        mov al, 112
        sub al, ah
        out 0x08, al                ; left
        mov al, 111
        add al, ah
        out 0x0A, al                ; right
        mov al, HUD_TOP
        out 0x09, al
        mov al, 143
        out 0x0B, al
        pop ax
        ret

; layout_scene_frame: the camera moves on; five bands scroll at 1/8, 1/4,
; 1/2, 1 and 1 (with ripples) of its speed; the ticker runs; the window
; opens; the times are shown.
layout_scene_frame:
        inc word [cam_x]
        mov di, RAST_S1X
        mov dx, [cam_x]
        mov si, bands
.band:
        mov cl, [cs:si]
        mov ax, dx
        shr ax, cl
        mov cl, [cs:si + 1]
        xor ch, ch
        rep stosb
        add si, 2
        cmp si, bands_end
        jb .band
        mov ax, dx
        shr ax, 3
        mov [RAST_S1X + 159], al    ; line 0 of the next frame
        mov bx, dx
        call ripple_water
        ; the ticker: a new character whenever a column has gone by
        mov ax, [ticker_x]
        test al, 7
        jnz .scroll
        shr ax, 3
        add ax, 29
        and ax, 31
        shl ax, 1
        mov di, ax
        add di, TXT(MAP2, 15, 0)
        mov si, [ticker_next]
        mov al, [cs:ticker_text + si]
        test al, al
        jnz .char
        xor si, si
        mov al, [cs:ticker_text]
.char:
        inc si
        mov [ticker_next], si
        xor ah, ah
        add ax, PANEL_WHITE
        mov [di], ax
.scroll:
        inc word [ticker_x]
        mov al, [ticker_x]
        mov di, RAST_S2X + HUD_TOP
        mov cx, 8
        rep stosb
        mov ax, [window_open]
        call set_window
        mov ax, [play_secs]
        mov di, TXT(MAP2, 17, 6)
        mov bx, PANEL_GOLD
        call print_time
        mov ax, [best_secs]
        mov di, TXT(MAP2, 17, 20)
        call print_time
        ret

bands:          db 3, BAND_PEAKS                    ; shift, lines
                db 2, BAND_HILLS - BAND_PEAKS
                db 1, BAND_GROUND - BAND_HILLS
                db 0, BAND_WATER - BAND_GROUND
bands_end:

text_subtitle:  db "A HANDHELD EMULATOR", 0
text_keys:      db "X ^>_< Y ^>_< A B OPT START", 0
ticker_text:    db "* KESTRA * OUR OWN CARTRIDGE, TILES, FONT AND TUNE * "
                db "TWO SCREENS IN FIVE BANDS OF RASTER PARALLAX * "
                db "24 SPRITES WITH FLIPS AND PRIORITY * A WINDOW ON SCREEN 2 * "
                db "FOUR WAVE CHANNELS, NOISE AND SOUND DMA * "
                db "X AND Y PADS: FLY * A: CALL * B: ZAP * OPTION: MUSIC * "
                db "START: TITLE *      ", 0

; The keys line: each label and the key that lights it.
%define KEYCELL(col, key) dw TXT(MAP2, 16, col), key
key_cells:
        KEYCELL(3, KEY_X1)
        KEYCELL(4, KEY_X2)
        KEYCELL(5, KEY_X3)
        KEYCELL(6, KEY_X4)
        KEYCELL(10, KEY_Y1)
        KEYCELL(11, KEY_Y2)
        KEYCELL(12, KEY_Y3)
        KEYCELL(13, KEY_Y4)
        KEYCELL(15, KEY_A)
        KEYCELL(17, KEY_B)
        KEYCELL(19, KEY_OPTION)
        KEYCELL(20, KEY_OPTION)
        KEYCELL(21, KEY_OPTION)
        KEYCELL(23, KEY_START)
        KEYCELL(24, KEY_START)
        KEYCELL(25, KEY_START)
        KEYCELL(26, KEY_START)
        KEYCELL(27, KEY_START)
        dw 0

; The kestrel: facing right, then left; two wing beats each.
%macro BIRD 4                       ; frame tile, flip, the two columns
        db %3, 0
        dw (%1) | (%2)
        db %4, 0
        dw (%1 + 1) | (%2)
        db %3, 8
        dw (%1 + 2) | (%2)
        db %4, 8
        dw (%1 + 3) | (%2)
%endmacro
bird_frames:
        BIRD TILE_BIRD, 0, 0, 8
        BIRD TILE_BIRD + 4, 0, 0, 8
        BIRD TILE_BIRD, SPR_HFLIP, 8, 0
        BIRD TILE_BIRD + 4, SPR_HFLIP, 8, 0

; Stars and leaves around the middle of the picture; some dive into the
; panel, half of them behind it.
sparkle_params:
        SPARKLE_PARAMS 12345, 108, 64, 80, 52

sky_lines:
        SKY_LINES 96

        CARTRIDGE_FOOTER CODE_SEG, start, 0x00, 1, 0x4B, 0, 1, 0x01, 0
