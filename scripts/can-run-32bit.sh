#!/usr/bin/env bash
# Exits 0 when this machine can run 32-bit x86 programs, which 32-bit Wine
# needs. Some kernels are booted with their 32-bit emulation off; there the
# 32-bit DLL is built and its tables checked, but its programs cannot run.
/usr/lib/wine/wine --version >/dev/null 2>&1
