/* The 32-bit stack-checking call thunk, exercised as a Linux i386 program. It
 * runs where 32-bit Windows programs cannot (the host lacks native 32-bit
 * execution): under user-mode emulation, the thunk's instructions behave as
 * on the real processor. */
#include <stdint.h>
#include <stdio.h>

uint64_t snipora_call_checked(void* function, const uint32_t* words, uint32_t count, int32_t* moved);

static int __attribute__((stdcall)) AddTwo(int a, int b) { return a + b; }
static int __attribute__((cdecl)) AddTwoCdecl(int a, int b) { return a + b; }
static int __attribute__((stdcall)) SumThree(int a, int b, int c) { return a + b + c; }
static int64_t __attribute__((stdcall)) ScaleWide(int64_t v, int f) { return v * f; }
static int __attribute__((stdcall)) NoArguments(void) { return 7; }

static int passed, failed;

static void Expect(int ok, const char* what, long long got, long long wanted) {
  if (ok) {
    ++passed;
  } else {
    ++failed;
    printf("FAILED %s: got %lld, wanted %lld\n", what, got, wanted);
  }
}
#define EXPECT_EQ(got, wanted, what) Expect((got) == (wanted), what, (long long)(got), (long long)(wanted))

int main(void) {
  const uint32_t words[] = {40, 2, 100};
  int32_t moved = 99;
  uint64_t r;

  r = snipora_call_checked((void*)AddTwo, words, 2, &moved);
  EXPECT_EQ((int)r, 42, "stdcall result");
  EXPECT_EQ(moved, 0, "balanced stdcall");

  r = snipora_call_checked((void*)NoArguments, words, 0, &moved);
  EXPECT_EQ((int)r, 7, "no-argument result");
  EXPECT_EQ(moved, 0, "no-argument call");

  r = snipora_call_checked((void*)AddTwoCdecl, words, 2, &moved);
  EXPECT_EQ((int)r, 42, "cdecl result");
  EXPECT_EQ(moved, -8, "cdecl declared as stdcall leaves its 2 arguments");

  snipora_call_checked((void*)SumThree, words, 2, &moved);
  EXPECT_EQ(moved, 4, "3-argument function given 2 removes one too many");

  snipora_call_checked((void*)AddTwo, words, 3, &moved);
  EXPECT_EQ(moved, -4, "2-argument function given 3 leaves one");

  const int64_t value = 0x123456789LL;
  const uint32_t wide[] = {(uint32_t)value, (uint32_t)(value >> 32), (uint32_t)-3};
  r = snipora_call_checked((void*)ScaleWide, wide, 3, &moved);
  EXPECT_EQ((int64_t)r, value * -3, "64-bit result in EDX:EAX");
  EXPECT_EQ(moved, 0, "8-byte argument counted as two words");

  printf("%d passed, %d failed\n", passed, failed);
  return failed != 0;
}
