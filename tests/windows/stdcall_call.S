/* Calls a function with the stdcall convention from hand-written code, so that nothing the
   compiler does can hide a wrong callee: the arguments are pushed here, the stack pointer after
   the call is compared with the one the callee must restore, and the callee-saved registers
   carry canaries through the call.

   uint32_t callStdcall(const void* function, const uint32_t* arguments, uint32_t count,
                        int32_t* stackDrift, uint32_t misalignment, int32_t* registersKept);

   The stack is first aligned to 16 bytes and then lowered by `misalignment` bytes, so the callee
   is tried on each of the alignments a 32-bit caller may hand it. */
    .text
    .globl _callStdcall
_callStdcall:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    andl $-16, %esp
    subl 24(%ebp), %esp
    movl %esp, %edi             /* where the stack must be once the callee has popped its arguments */
    movl 16(%ebp), %ecx
    movl 12(%ebp), %esi
1:  testl %ecx, %ecx
    jz 2f
    decl %ecx
    pushl (%esi,%ecx,4)
    jmp 1b
2:  movl 8(%ebp), %eax
    movl $0x5A5AA5A5, %ebx
    movl %edi, %esi
    xorl $0x3C3C3C3C, %esi
    call *%eax
    movl %esp, %ecx
    subl %edi, %ecx             /* positive: the callee popped too much; negative: too little */
    movl 20(%ebp), %edx
    movl %ecx, (%edx)
    movl $1, %ecx
    cmpl $0x5A5AA5A5, %ebx
    je 3f
    xorl %ecx, %ecx
3:  movl %edi, %edx
    xorl $0x3C3C3C3C, %edx
    cmpl %edx, %esi
    je 4f
    xorl %ecx, %ecx
4:  movl 28(%ebp), %edx
    movl %ecx, (%edx)
    leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
