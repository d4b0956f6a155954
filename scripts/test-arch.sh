#!/usr/bin/env bash
# Prints the Windows architecture whose programs this host runs under Wine at
# full speed: i686 where the kernel executes 32-bit x86 code natively,
# x86_64 where it cannot (there the 32-bit Wine loader fails with "Exec format
# error", and emulating it is far too slow to test with).
# SNIPORA_TEST_ARCH overrides the probe.
if [ -n "${SNIPORA_TEST_ARCH:-}" ]; then echo "$SNIPORA_TEST_ARCH"; exit 0; fi
# an i386 handler registered with binfmt_misc means emulation, not native
if grep -qs '^magic 7f454c4601010100' /proc/sys/fs/binfmt_misc/* 2>/dev/null; then
  echo x86_64
elif [ -x /lib/ld-linux.so.2 ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  echo i686
else
  echo x86_64
fi
