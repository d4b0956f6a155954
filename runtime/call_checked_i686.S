// uint64_t snipora_call_checked(void* function, const uint32_t* words,
//                               uint32_t count, int32_t* stackMoved)   (cdecl)
// Pushes words[count-1] .. words[0] (so words[0] is the first argument), calls,
// and stores how far ESP moved across the call: 0 when the callee removed
// exactly what was pushed. EBX keeps the position from before the pushes; it
// is callee-saved in every 32-bit convention, so the stack is restored
// whatever the callee did to ESP. The result stays in EDX:EAX.
#ifdef _WIN32
#define SYMBOL(name) _##name
#else
#define SYMBOL(name) name
#endif

    .text
    .globl SYMBOL(snipora_call_checked)
SYMBOL(snipora_call_checked):
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
    movl %esp, %ebx
    leal (%esi,%ecx,4), %edi
1:  testl %ecx, %ecx
    jz 2f
    subl $4, %edi
    pushl (%edi)
    decl %ecx
    jmp 1b
2:  call *8(%ebp)
    movl %esp, %ecx
    subl %ebx, %ecx
    movl %ebx, %esp
    movl 20(%ebp), %edi
    movl %ecx, (%edi)
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret

#ifndef _WIN32
    .section .note.GNU-stack,"",@progbits
#endif
