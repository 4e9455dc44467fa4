; Brevan open firmware for the Primo A and B models (16 KB at 0x0000).
; VARIANT_B (set by the wrapper) selects the B keyboard layout. The code is
; laid out between the fixed addresses programs and the emulator use; every
; byte left over is FILL (RST 30h), which reports a call into a gap.
MODEL_C:     equ 0
ID_CHAR:     equ '4'
KBD_ADDR:    equ 0x3866
REPEAT_ADDR: equ 0x3925
GETKEY_ADDR: equ 0x394C         ; its JR NZ is at 0x394F
LDHDR_ADDR:  equ 0x3B49
LDHDR_CONT:  equ 0x3BAD
NEXTBLK:     equ 0x3C75
RDBYTE:      equ 0x3CAC
RDBYTE_CONT: equ 0x3CB3

        include "sysvars.inc"
        include "vectors.inc"
        include "screen.inc"
        include "font.inc"
        include "keyboard.inc"
        include "compat.inc"

        ds 0x0FBD-$,FILL
        jp num_to_text
        include "monitor.inc"

        ds 0x197E-$,FILL
        jp warm                 ; BASIC's command level: the prompt
        ds 0x1A19-$,FILL
        jp warm
        ds 0x1B4D-$,FILL
        ret                     ; BASIC's re-initialisation: nothing to do
        include "restart.inc"

        ds 0x1E5A-$,FILL
        jp text_to_num
        ds 0x1E83-$,FILL
        ret                     ; re-lay memory below a lowered top
        ds 0x1EA3-$,FILL
        jp no_basic             ; BASIC's RUN
        include "tape.inc"
        include "iec.inc"

        ds 0x2B75-$,FILL
        jp prints
        ds 0x3178-$,FILL
        jp scr_init

        ds KBD_ADDR-$,FILL
        include "kbdfix.inc"

; The key repeat rate; the machine may turn this LD A,(nn) into LD A,3 + NOP.
        ds REPEAT_ADDR-$,FILL
GET_REPEAT:
        ld a,(KREPEAT)
        ret

        ds GETKEY_ADDR-$,FILL
        include "getkey.inc"

        ds LDHDR_ADDR-$,FILL
        include "tapefix.inc"

        ds 0x3D03-$,FILL
        jp prints
        ds 0x3F3A-$,FILL
        jp pixel_addr
        ds 0x3F68-$,FILL
        jp beep

        ds 0x4000-$,FILL
