# quadturn.exe under Wine: each sample turned right then left comes back
# byte for byte (the samples have no row padding and exact header fields),
# a half turn equals two right turns, and a file turned in place equals one
# turned into a new file; a file whose name is outside the
# ANSI code page is read and written under that name; TIFF, PNG and JPEG
# samples turn into the same bytes as with the Linux tool.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
function(run)
  # Output goes to a file, not a pipe: Wine's own background processes may
  # hold a pipe open long after the program is done.
  execute_process(COMMAND ${EMULATOR} ${TOOL} ${ARGN} RESULT_VARIABLE rc
    OUTPUT_FILE ${WORK}/output.txt ERROR_FILE ${WORK}/errors.txt)
  file(READ ${WORK}/errors.txt err)
  if(NOT rc EQUAL 0 AND err STREQUAL "")
    # The tool says why whenever it fails; a failure without a word came
    # from Wine starting the process (seen once in a loaded run), so the
    # run is made once more.
    message(STATUS "quadturn ${ARGN}: ${rc} with no message; once more")
    execute_process(COMMAND ${EMULATOR} ${TOOL} ${ARGN} RESULT_VARIABLE rc
      OUTPUT_FILE ${WORK}/output.txt ERROR_FILE ${WORK}/errors.txt)
  endif()
  if(NOT rc EQUAL 0)
    file(READ ${WORK}/errors.txt err)
    message(FATAL_ERROR "quadturn ${ARGN} failed (${rc}): ${err}")
  endif()
endfunction()
foreach(bits 1 8 24)
  set(in ${SAMPLES}/chart-${bits}.bmp)
  run(right ${in} -o ${WORK}/r${bits}.bmp)
  run(left ${WORK}/r${bits}.bmp -o ${WORK}/rl${bits}.bmp)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${in} ${WORK}/rl${bits}.bmp RESULT_VARIABLE same)
  if(NOT same EQUAL 0)
    message(FATAL_ERROR "chart-${bits}: right then left differs from the original")
  endif()
  file(READ ${in} original HEX)
  file(READ ${WORK}/r${bits}.bmp turned HEX)
  if(original STREQUAL turned)
    message(FATAL_ERROR "chart-${bits}: turning right changed nothing")
  endif()
  run(half ${in} -o ${WORK}/h${bits}.bmp)
  run(right ${WORK}/r${bits}.bmp -o ${WORK}/rr${bits}.bmp)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/h${bits}.bmp ${WORK}/rr${bits}.bmp RESULT_VARIABLE same)
  if(NOT same EQUAL 0)
    message(FATAL_ERROR "chart-${bits}: half turn differs from two right turns")
  endif()
  # A file replaced by its turned image (through ReplaceFileW).
  file(COPY_FILE ${in} ${WORK}/i${bits}.bmp)
  run(right -i ${WORK}/i${bits}.bmp)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/r${bits}.bmp ${WORK}/i${bits}.bmp RESULT_VARIABLE same)
  if(NOT same EQUAL 0)
    message(FATAL_ERROR "chart-${bits}: turned in place differs from turned into a new file")
  endif()
endforeach()
# Japanese and Greek letters: UTF-16 all the way from the command line to the
# file system. Wine reads its arguments in the locale's encoding.
set(ENV{LC_ALL} C.UTF-8)
set(name "日本-αβ.bmp")
file(COPY_FILE ${SAMPLES}/chart-8.bmp "${WORK}/${name}")
file(MAKE_DIRECTORY ${WORK}/out)
execute_process(COMMAND ${EMULATOR} ${TOOL} right "${name}" -d out RESULT_VARIABLE rc
  WORKING_DIRECTORY ${WORK} OUTPUT_FILE ${WORK}/output.txt ERROR_FILE ${WORK}/errors.txt)
if(NOT rc EQUAL 0 OR NOT EXISTS "${WORK}/out/${name}")
  file(READ ${WORK}/errors.txt err)
  message(FATAL_ERROR "quadturn right ${name} -d out failed (${rc}): ${err}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${WORK}/out/${name}" ${WORK}/r8.bmp
  RESULT_VARIABLE same)
if(NOT same EQUAL 0)
  message(FATAL_ERROR "${name}: turned differently from chart-8.bmp")
endif()
# TIFF, PNG and JPEG files turned by this tool as by the Linux one, byte for
# byte: the same libtiff, libspng (over the same zlib) and libjpeg-turbo,
# cross-built from Debian's sources; LZW, Group 4, PNG's Deflate and JPEG's
# lossless transforms give the same bytes on both. (Deflate in TIFF would
# not: the Linux libtiff deflates through libdeflate.)
if(NOT EXISTS ${LINUX_TOOL})
  message(FATAL_ERROR "the Linux tool to compare with is not built: ${LINUX_TOOL} "
    "(cmake --build --preset native)")
endif()
foreach(sample fax.tif chart.tif chart.png chart.jpg)
  foreach(verb right transpose upright)
    set(turned ${WORK}/${verb}-${sample})
    run(${verb} ${SAMPLES}/${sample} -o ${turned})
    execute_process(COMMAND ${LINUX_TOOL} ${verb} ${SAMPLES}/${sample} -o ${WORK}/linux-${verb}-${sample}
      RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${turned}
      ${WORK}/linux-${verb}-${sample} RESULT_VARIABLE same)
    if(NOT rc EQUAL 0 OR NOT same EQUAL 0)
      message(FATAL_ERROR "${sample}, ${verb}: turned differently by the Windows and the Linux tool")
    endif()
  endforeach()
endforeach()
message(STATUS "quadturn.exe turned every sample both ways, and ${name}; TIFF, PNG and JPEG "
  "as the Linux tool does")
