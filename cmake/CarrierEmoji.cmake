# Writes OUTPUT, the table of the old carrier emoji: each private use code with the standard
# emoji it stands for, read from SOURCES (EmojiSources.txt of the Unicode data). Run as
# cmake -DSOURCES=... -DOUTPUT=... -P CarrierEmoji.cmake.
#
# EmojiSources.txt knows the carrier's emoji only by its Shift-JIS codes (fourth field). The
# carrier laid its six blocks of 90 codes out like this (lead byte, trail range -> block):
#   F9 41..9B -> E001..E05A    F7 41..9B -> E101..E15A    F7 A1..FA -> E201..E25A
#   F9 A1..FA -> E301..E35A    FB 41..9B -> E401..E45A    FB A1..FA -> E501..E55A
# The low trail range skips 7F, as Shift-JIS does. Checks: F941 (boy) is E001, FB55 (smiling
# face) is E415, FBD7 (trade mark) is E537.
cmake_policy(SET CMP0007 NEW)   # keep the empty fields
file(STRINGS "${SOURCES}" lines REGEX "^[0-9A-F]")
set(entries "")
set(count 0)
foreach(line IN LISTS lines)
    set(fields "${line}")
    list(LENGTH fields size)
    if(size LESS 4)
        continue()
    endif()
    list(GET fields 0 unicode)
    list(GET fields 3 sjis)
    if(sjis STREQUAL "")
        continue()
    endif()
    math(EXPR lead "0x${sjis} >> 8")
    math(EXPR trail "0x${sjis} & 255")
    if(trail GREATER_EQUAL 65 AND trail LESS_EQUAL 155 AND NOT trail EQUAL 127)
        math(EXPR index "${trail} - 64")
        if(trail GREATER 127)
            math(EXPR index "${index} - 1")
        endif()
        set(high 0)
    elseif(trail GREATER_EQUAL 161 AND trail LESS_EQUAL 250)
        math(EXPR index "${trail} - 160")
        set(high 1)
    else()
        continue()
    endif()
    if(lead EQUAL 249)       # F9
        math(EXPR block "${high} * 3")
    elseif(lead EQUAL 247)   # F7
        math(EXPR block "1 + ${high}")
    elseif(lead EQUAL 251)   # FB
        math(EXPR block "4 + ${high}")
    else()
        continue()
    endif()
    math(EXPR unit "0xE000 + ${block} * 256 + ${index}" OUTPUT_FORMAT HEXADECIMAL)
    string(REPLACE " " ", 0x" codes "0x${unicode}")
    string(APPEND entries "    {${unit}, {${codes}}},\n")
    math(EXPR count "${count} + 1")
endforeach()
if(count LESS 400)
    message(FATAL_ERROR "${SOURCES} gave only ${count} carrier emoji")
endif()
file(WRITE "${OUTPUT}.tmp" "// Written at build time from ${SOURCES}; do not edit.\n${entries}")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
