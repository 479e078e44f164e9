# Runs the 32-bit GoogleTest suite through scripts/wine32/wine32 on the
# processor QEMU_CPU names, and checks that it passes and that the SIMD sets
# it reports are SETS. Run with -DWINE32=... -DSUITE=... -DSETS=...
execute_process(COMMAND ${WINE32} ${SUITE} --gtest_brief=1 RESULT_VARIABLE rc
  OUTPUT_VARIABLE out ERROR_VARIABLE out)
message("${out}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the suite failed (${rc}) on this processor")
endif()
if(NOT out MATCHES "SIMD kernel sets this processor runs: ${SETS}\r?\n")
  message(FATAL_ERROR "the processor did not offer exactly: ${SETS}")
endif()
