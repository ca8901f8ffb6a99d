/* built_score.S: the score that the linked soundtrack was rendered from, so
   that the studio knows whether the score it reads is still the one it
   hears. The build passes the score's path as OSTREL_BUILT_SCORE. */
#ifdef _WIN32
    .section .rdata,"dr"
#else
    .section .rodata
#endif
    .globl ostrelBuiltScore
ostrelBuiltScore:
    .incbin OSTREL_BUILT_SCORE
    .globl ostrelBuiltScoreEnd
ostrelBuiltScoreEnd:
    .byte 0

#ifdef __ELF__
    .section .note.GNU-stack,"",@progbits
#endif
