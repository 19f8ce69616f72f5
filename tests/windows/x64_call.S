/* Calls a function with the x64 Windows convention from hand-written code, so that nothing the
   compiler does can hide a wrong callee: the first four arguments go in rcx, rdx, r8 and r9 and
   every argument also has its slot above the 32-byte home area; the stack is aligned to 16 bytes
   at the call; the stack pointer after the call must be the one before it (the caller owns the
   arguments); and every callee-saved register (rbx, rbp, rsi, rdi, r12-r15, xmm6-xmm15) carries
   a canary through the call.

   uint64_t callWin64(const void* function, const uint64_t* arguments, uint64_t count,
                      int64_t* stackDrift, int32_t* registersKept); */
    .section .rdata,"dr"
    .p2align 4
canaries:                           /* one 16-byte pattern for each of xmm6-xmm15 */
    .quad 0x0606A5A5C3C30606, 0x6060F00F5A5A6060
    .quad 0x0707A5A5C3C30707, 0x7070F00F5A5A7070
    .quad 0x0808A5A5C3C30808, 0x8080F00F5A5A8080
    .quad 0x0909A5A5C3C30909, 0x9090F00F5A5A9090
    .quad 0x0A0AA5A5C3C30A0A, 0xA0A0F00F5A5AA0A0
    .quad 0x0B0BA5A5C3C30B0B, 0xB0B0F00F5A5AB0B0
    .quad 0x0C0CA5A5C3C30C0C, 0xC0C0F00F5A5AC0C0
    .quad 0x0D0DA5A5C3C30D0D, 0xD0D0F00F5A5AD0D0
    .quad 0x0E0EA5A5C3C30E0E, 0xE0E0F00F5A5AE0E0
    .quad 0x0F0FA5A5C3C30F0F, 0xF0F0F00F5A5AF0F0

    .text
    .globl callWin64
callWin64:
    pushq %rbp
    movq %rsp, %rbp
    pushq %rbx
    pushq %rsi
    pushq %rdi
    pushq %r12
    pushq %r13
    pushq %r14
    pushq %r15
    subq $168, %rsp                 /* the caller's xmm6-xmm15, 16-byte aligned */
    movdqu %xmm6, 0(%rsp)
    movdqu %xmm7, 16(%rsp)
    movdqu %xmm8, 32(%rsp)
    movdqu %xmm9, 48(%rsp)
    movdqu %xmm10, 64(%rsp)
    movdqu %xmm11, 80(%rsp)
    movdqu %xmm12, 96(%rsp)
    movdqu %xmm13, 112(%rsp)
    movdqu %xmm14, 128(%rsp)
    movdqu %xmm15, 144(%rsp)
    movq %rcx, 16(%rbp)             /* our own arguments, in our home area */
    movq %rdx, 24(%rbp)
    movq %r8, 32(%rbp)
    movq %r9, 40(%rbp)

    /* The callee's frame: max(count, 4) slots, rounded up to keep the 16-byte alignment. */
    movq %r8, %rax
    cmpq $4, %rax
    jae 1f
    movq $4, %rax
1:  incq %rax
    andq $-2, %rax
    shlq $3, %rax
    subq %rax, %rsp
    movq $0x5A5A5A5A5A5A5A5A, %rax  /* slots of absent arguments hold a pattern */
    movq %rax, 0(%rsp)
    movq %rax, 8(%rsp)
    movq %rax, 16(%rsp)
    movq %rax, 24(%rsp)
    xorq %rax, %rax
2:  cmpq %r8, %rax
    jae 3f
    movq (%rdx,%rax,8), %r10
    movq %r10, (%rsp,%rax,8)
    incq %rax
    jmp 2b
3:  movq %rsp, -64(%rbp)            /* where the stack must be after the call (a free slot of ours) */
    movq 0(%rsp), %rcx
    movq 8(%rsp), %rdx
    movq 16(%rsp), %r8
    movq 24(%rsp), %r9

    leaq canaries(%rip), %rax
    movdqa 0(%rax), %xmm6
    movdqa 16(%rax), %xmm7
    movdqa 32(%rax), %xmm8
    movdqa 48(%rax), %xmm9
    movdqa 64(%rax), %xmm10
    movdqa 80(%rax), %xmm11
    movdqa 96(%rax), %xmm12
    movdqa 112(%rax), %xmm13
    movdqa 128(%rax), %xmm14
    movdqa 144(%rax), %xmm15
    movq $0x1B1B1B1B5A5AA5A5, %rbx
    movq $0x2C2C2C2C5A5AA5A5, %rsi
    movq $0x3D3D3D3D5A5AA5A5, %rdi
    movq $0x4E4E4E4E5A5AA5A5, %r12
    movq $0x5F5F5F5F5A5AA5A5, %r13
    movq $0x6A6A6A6A5A5AA5A5, %r14
    movq $0x3C3C3C3C3C3C3C3C, %r15
    xorq %rbp, %r15                 /* r15 carries rbp, so a changed rbp is seen */
    movq 16(%rbp), %rax
    call *%rax

    movq %rax, %r11                 /* the result */
    movl $1, %r10d                  /* registers kept, until a canary says otherwise */
    movq $0x3C3C3C3C3C3C3C3C, %rax
    xorq %r15, %rax
    cmpq %rax, %rbp
    je 4f
    xorl %r10d, %r10d
4:  movq %rsp, %rcx
    subq -64(%rbp), %rcx            /* positive: the callee popped the caller's slots */
    movq 40(%rbp), %rdx
    movq %rcx, (%rdx)
    movq $0x1B1B1B1B5A5AA5A5, %rax
    cmpq %rax, %rbx
    jne 5f
    movq $0x2C2C2C2C5A5AA5A5, %rax
    cmpq %rax, %rsi
    jne 5f
    movq $0x3D3D3D3D5A5AA5A5, %rax
    cmpq %rax, %rdi
    jne 5f
    movq $0x4E4E4E4E5A5AA5A5, %rax
    cmpq %rax, %r12
    jne 5f
    movq $0x5F5F5F5F5A5AA5A5, %rax
    cmpq %rax, %r13
    jne 5f
    movq $0x6A6A6A6A5A5AA5A5, %rax
    cmpq %rax, %r14
    jne 5f
    leaq canaries(%rip), %rax
    movdqa 0(%rax), %xmm0
    pcmpeqb %xmm6, %xmm0
    pmovmskb %xmm0, %ecx
    cmpl $0xFFFF, %ecx
    jne 5f
    movdqa 16(%rax), %xmm0
    pcmpeqb %xmm7, %xmm0
    pmovmskb %xmm0, %ecx
    cmpl $0xFFFF, %ecx
    jne 5f
    movdqa 32(%rax), %xmm0
    pcmpeqb %xmm8, %xmm0
    pmovmskb %xmm0, %ecx
    cmpl $0xFFFF, %ecx
    jne 5f
    movdqa 48(%rax), %xmm0
    pcmpeqb %xmm9, %xmm0
    pmovmskb %xmm0, %ecx
    cmpl $0xFFFF, %ecx
    jne 5f
    movdqa 64(%rax), %xmm0
    pcmpeqb %xmm10, %xmm0
    pmovmskb %xmm0, %ecx
    cmpl $0xFFFF, %ecx
    jne 5f
    movdqa 80(%rax), %xmm0
    pcmpeqb %xmm11, %xmm0
    pmovmskb %xmm0, %ecx
    cmpl $0xFFFF, %ecx
    jne 5f
    movdqa 96(%rax), %xmm0
    pcmpeqb %xmm12, %xmm0
    pmovmskb %xmm0, %ecx
    cmpl $0xFFFF, %ecx
    jne 5f
    movdqa 112(%rax), %xmm0
    pcmpeqb %xmm13, %xmm0
    pmovmskb %xmm0, %ecx
    cmpl $0xFFFF, %ecx
    jne 5f
    movdqa 128(%rax), %xmm0
    pcmpeqb %xmm14, %xmm0
    pmovmskb %xmm0, %ecx
    cmpl $0xFFFF, %ecx
    jne 5f
    movdqa 144(%rax), %xmm0
    pcmpeqb %xmm15, %xmm0
    pmovmskb %xmm0, %ecx
    cmpl $0xFFFF, %ecx
    jne 5f
    jmp 6f
5:  xorl %r10d, %r10d
6:  movq 48(%rbp), %rdx
    movl %r10d, (%rdx)
    movq %r11, %rax
    leaq -224(%rbp), %rsp
    movdqu 0(%rsp), %xmm6
    movdqu 16(%rsp), %xmm7
    movdqu 32(%rsp), %xmm8
    movdqu 48(%rsp), %xmm9
    movdqu 64(%rsp), %xmm10
    movdqu 80(%rsp), %xmm11
    movdqu 96(%rsp), %xmm12
    movdqu 112(%rsp), %xmm13
    movdqu 128(%rsp), %xmm14
    movdqu 144(%rsp), %xmm15
    addq $168, %rsp
    popq %r15
    popq %r14
    popq %r13
    popq %r12
    popq %rdi
    popq %rsi
    popq %rbx
    popq %rbp
    ret
