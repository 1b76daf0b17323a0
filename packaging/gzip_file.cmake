# cmake -DINPUT=FILE -DOUTPUT=FILE.gz -P gzip_file.cmake: compresses as Debian wants documents
# and manual pages, at the highest level and without the name and time stamp, so the same text
# always gives the same bytes.
execute_process(COMMAND gzip -9n -c "${INPUT}" OUTPUT_FILE "${OUTPUT}.part"
                RESULT_VARIABLE _status)
if(NOT _status EQUAL 0)
  file(REMOVE "${OUTPUT}.part")
  message(FATAL_ERROR "gzip ${INPUT}: ${_status}")
endif()
file(RENAME "${OUTPUT}.part" "${OUTPUT}")
