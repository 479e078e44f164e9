# Checks quadturn.dll's export and import tables with objdump: exactly the two
# decorated exports at ordinals 1 and 2, and no DLL imported but KERNEL32 and
# msvcrt. Run with -DOBJDUMP=... -DDLL=...
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${DLL}")
endif()

string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([ \t]+\\[[^\n]*\n)*)" _ "${dump}")
set(names "${CMAKE_MATCH_1}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" exports "${names}")
# objdump numbers the name table from 0; ordinal = Ordinal Base + index.
set(expected "[   0] _RotateLeft90@4;[   1] _RotateRight90@4")
if(NOT "${exports}" STREQUAL "${expected}")
  message(FATAL_ERROR "exports are\n  ${exports}\nexpected\n  ${expected}")
endif()
if(NOT dump MATCHES "Ordinal Base[ \t]+1\n")
  message(FATAL_ERROR "the ordinal base is not 1")
endif()
string(REGEX MATCHALL "\\+base\\[ *[0-9]+\\]" ordinals "${dump}")
list(REMOVE_DUPLICATES ordinals)
if(NOT "${ordinals}" STREQUAL "+base[   1];+base[   2]")
  message(FATAL_ERROR "export address table holds ${ordinals}, expected ordinals 1 and 2 only")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
string(TOLOWER "${imports}" imports)
list(SORT imports)
if(NOT "${imports}" STREQUAL "dll name: kernel32.dll;dll name: msvcrt.dll")
  message(FATAL_ERROR "imports are ${imports}, expected only KERNEL32 and msvcrt")
endif()
message(STATUS "exports: ${exports}; imports: ${imports}")
