# Runs the program on the settings files beside this script and compares a
# SHA-256 of each output (standard output, or the file written) with the one
# recorded in expected.txt, so that a change of any message, its order or any
# byte of a file is caught. With -DRECORD=ON it writes expected.txt instead,
# from the program given (a build known to be right).
#   cmake -DTARNWICK=path/to/tarnwick -DWORK=scratch/folder [-DRECORD=ON] -P golden_outputs.cmake

set(HERE ${CMAKE_CURRENT_LIST_DIR})
set(PLAY "--play --output trace --midi-clock --rand-seed 7")
# name | arguments; @OUT@ stands for the output file, @S@ for the settings folder
set(CASES
  "trace_start|${PLAY} --ticks 2100 --settings @S@/start.tarn"
  "trace_held|${PLAY} --ticks 2100 --settings @S@/held.tarn"
  "trace_edges|${PLAY} --ticks 2100 --settings @S@/edges.tarn"
  "trace_no_clock|--play --output trace --ticks 1030 --rand-seed 3"
  "score_held|--print-score --settings @S@/held.tarn --rand-seed 7"
  "score_edges|--print-score --settings @S@/edges.tarn --rand-seed 7"
  "midi_start|--export-midi @OUT@.mid --settings @S@/start.tarn --rand-seed 7"
  "midi_held|--export-midi @OUT@.mid --settings @S@/held.tarn --rand-seed 7"
  "midi_edges|--export-midi @OUT@.mid --settings @S@/edges.tarn --rand-seed 7"
  "tarn_edges|--save-settings @OUT@.tarn --settings @S@/edges.tarn --rand-seed 7"
  "svg_held|--draw-score @OUT@.svg --settings @S@/held.tarn --rand-seed 7")

file(MAKE_DIRECTORY ${WORK})
set(recorded "")
set(failures "")
foreach(case IN LISTS CASES)
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 name)
  list(GET parts 1 line)
  string(REPLACE "@S@" "${HERE}" line "${line}")
  string(REPLACE "@OUT@" "${WORK}/${name}" line "${line}")
  separate_arguments(args UNIX_COMMAND "${line}")
  execute_process(COMMAND ${TARNWICK} ${args} OUTPUT_FILE ${WORK}/${name}.out
                  RESULT_VARIABLE status)
  file(GLOB written ${WORK}/${name}.*)
  list(REMOVE_ITEM written ${WORK}/${name}.out)
  if(written)
    file(SHA256 ${written} hash)
  else()
    file(SHA256 ${WORK}/${name}.out hash)
  endif()
  string(APPEND recorded "${name} ${status} ${hash}\n")
endforeach()

if(RECORD)
  file(WRITE ${HERE}/expected.txt "${recorded}")
  return()
endif()
file(READ ${HERE}/expected.txt expected)
if(NOT recorded STREQUAL expected)
  message(FATAL_ERROR "outputs differ from the recorded ones:\n${recorded}\nexpected:\n${expected}")
endif()
message(STATUS "${recorded}")
