# Writes a NASM include with every numeric constant of base/sector_format.h.
#   inline constexpr unsigned kSlotPromptText = 61;  ->  %define SLOT_PROMPT_TEXT 61
# Run with -DINPUT=<layout.h> -DOUTPUT=<layout.inc>. Text constants are skipped.

file(STRINGS "${INPUT}" lines REGEX "^inline constexpr ")
set(out "; Generated from base/sector_format.h. Do not edit.\n")
set(count 0)
foreach(line IN LISTS lines)
  if(line MATCHES "^inline constexpr [A-Za-z0-9_:]+ k([A-Za-z0-9]+) = (0[xX][0-9A-Fa-f]+|[0-9]+)u?;")
    set(name "${CMAKE_MATCH_1}")
    set(value "${CMAKE_MATCH_2}")
    string(REGEX REPLACE "([a-z0-9])([A-Z])" "\\1_\\2" name "${name}")
    string(TOUPPER "${name}" name)
    string(APPEND out "%define ${name} ${value}\n")
    math(EXPR count "${count} + 1")
  endif()
endforeach()
if(count EQUAL 0)
  message(FATAL_ERROR "no constants found in ${INPUT}")
endif()
file(WRITE "${OUTPUT}" "${out}")
