#!/usr/bin/env bash
# Exits 0 when this machine runs 32-bit x86 programs, as Debian's 32-bit Wine
# needs. Some kernels are booted with their 32-bit emulation off; there the
# 32-bit DLL's programs run under Wine emulated by qemu-i386 (scripts/wine32).
/usr/lib/wine/wine --version >/dev/null 2>&1
