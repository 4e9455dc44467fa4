; ECHOHEX: reads console input by direct I/O (call 6), which passes every
; code on untouched, until DEL (0x7F); writes each byte read as two hex
; digits to OUT.HEX and prints "WRITTEN".
BDOS:   equ 5
END_KEY: equ 0x7F

        org 0x100
        ld sp,stack
        ld hl,text
        ld (put),hl
wait:   ld c,6
        ld e,0xFF
        call BDOS
        or a
        jr z,wait
        cp END_KEY
        jr z,write
        ld b,a
        rrca
        rrca
        rrca
        rrca
        call hex_digit
        ld a,b
        call hex_digit
        jr wait

; Stores the digit of the low nibble of A.
hex_digit:
        and 0x0F
        add a,'0'
        cp '9'+1
        jr c,hd_put
        add a,'A'-'9'-1
hd_put: ld hl,(put)
        ld (hl),a
        inc hl
        ld (put),hl
        ret

write:  ld hl,(put)                 ; the end of the text, then ^Z to the record's end
        ld b,128
fill:   ld (hl),0x1A
        inc hl
        djnz fill
        ld de,fcb
        ld c,19
        call BDOS
        ld de,fcb
        ld c,22
        call BDOS
        ld hl,text
record: ld (dma),hl
        ex de,hl
        ld c,26
        call BDOS
        ld de,fcb
        ld c,21
        call BDOS
        ld hl,(dma)
        ld de,128
        add hl,de
        ex de,hl
        ld hl,(put)
        or a
        sbc hl,de                   ; written past the text's end?
        ex de,hl
        jr nc,record
        ld de,fcb
        ld c,16
        call BDOS
        ld de,done
        ld c,9
        call BDOS
        jp 0

done:   db "WRITTEN$"
fcb:    db 0,"OUT     HEX"
        ds 24,0
put:    dw 0
dma:    dw 0
        ds 64
stack:
text:
