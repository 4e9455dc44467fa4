; RANDCOPY IN OUT: copies file IN to file OUT by random records, visiting
; the records in steps of 37 (so the file is crossed back and forth
; between its extents), with a random read from IN and a random write to
; OUT for each. Prints "COPIED" or the failing call and its result.
BDOS:   equ 5
FCB1:   equ 0x5C
FCB2:   equ 0x6C
STEP:   equ 37

        org 0x100
        ld sp,stack
        ld hl,FCB2                  ; the second name before FCB1 is opened over it
        ld de,out
        ld bc,16
        ldir
        ld de,FCB1
        ld c,15
        call check_ff
        ld de,out
        ld c,19
        call BDOS
        ld de,out
        ld c,22
        call check_ff
        ld de,FCB1
        ld c,35
        call BDOS
        ld hl,(FCB1+33)
        ld (count),hl
        ld (left),hl
        ld de,buffer
        ld c,26
        call BDOS
        ld hl,0
next:   ld (record),hl
        ld (FCB1+33),hl
        ld (out+33),hl
        xor a
        ld (FCB1+35),a
        ld (out+35),a
        ld de,FCB1
        ld c,33
        call check_0
        ld de,out
        ld c,34
        call check_0
        ld hl,(left)
        dec hl
        ld (left),hl
        ld a,h
        or l
        jr z,done
        ld hl,(record)
        ld de,STEP
        add hl,de
        ld de,(count)
wrap:   or a
        sbc hl,de
        jr nc,wrap
        add hl,de
        jr next
done:   ld de,out
        ld c,16
        call check_ff
        ld de,msg_ok
        ld c,9
        call BDOS
        jp 0

; The call in C on DE; a result of 0xFF (check_ff) or not 0 (check_0) fails.
check_ff:
        ld a,c
        ld (failed),a
        call BDOS
        inc a
        ret nz
        dec a
        jr fail
check_0:
        ld a,c
        ld (failed),a
        call BDOS
        or a
        ret z
fail:   ld (result),a
        ld a,(failed)
        call hex
        ld a,(result)
        call hex
        ld de,msg_fail
        ld c,9
        call BDOS
        jp 0

hex:    push af
        rrca
        rrca
        rrca
        rrca
        call digit
        pop af
digit:  and 0x0F
        add a,'0'
        cp '9'+1
        jr c,digit_out
        add a,7
digit_out:
        ld e,a
        ld c,2
        jp BDOS

msg_ok: db "COPIED$"
msg_fail:
        db " FAILED$"
count:  dw 0
left:   dw 0
record: dw 0
failed: db 0
result: db 0
out:    ds 36, 0
buffer: ds 128, 0
        ds 32, 0
stack:
