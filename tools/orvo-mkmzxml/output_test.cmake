# Runs orvo-mkmzxml as a user would: the same options give the same bytes,
# another seed other bytes, --no-index a file without an index, each layout
# its tags, and a bad argument the usage exit code. Called with -DTOOL=<path> -DDIR=<scratch>,
# and -DRUNNER=<emulator> when the tool is built for another system.
file(MAKE_DIRECTORY ${DIR})
set(small --scans 30 --ms1-every 3 --ms1-peaks 50 --ms2-peaks 10)

function(run_tool out expected_code)
  execute_process(COMMAND ${RUNNER} ${TOOL} -o ${DIR}/${out} ${ARGN} RESULT_VARIABLE code)
  if(NOT code EQUAL expected_code)
    message(FATAL_ERROR "orvo-mkmzxml ${ARGN}: exit code ${code}, not ${expected_code}")
  endif()
endfunction()

run_tool(a.mzXML 0 ${small} --seed 3)
run_tool(b.mzXML 0 ${small} --seed 3)
run_tool(c.mzXML 0 ${small} --seed 4)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${DIR}/a.mzXML ${DIR}/b.mzXML
                RESULT_VARIABLE differ)
if(differ)
  message(FATAL_ERROR "two runs with seed 3 wrote different files")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${DIR}/a.mzXML ${DIR}/c.mzXML
                RESULT_VARIABLE differ)
if(NOT differ)
  message(FATAL_ERROR "seeds 3 and 4 wrote the same file")
endif()

run_tool(d.mzXML 0 ${small} --no-index)
file(READ ${DIR}/d.mzXML text)
string(FIND "${text}" "<index " index_at)
string(FIND "${text}" "<indexOffset>0</indexOffset>\n  <sha1>" zero_at)
if(NOT index_at EQUAL -1 OR zero_at EQUAL -1)
  message(FATAL_ERROR "--no-index: an index, or no <indexOffset>0</indexOffset>")
endif()

run_tool(e.mzXML 2 --scans 0)

# --layout converter: start tags one attribute a line, aligned under the
# first; the default writes each on one line.
run_tool(f.mzXML 0 ${small} --seed 3 --layout converter)
file(READ ${DIR}/f.mzXML text)
string(FIND "${text}" "<scan num=\"2\"\n          msLevel=\"2\"\n" scan_at)
string(FIND "${text}" "<peaks precision=\"32\"\n             byteOrder=\"network\"\n" peaks_at)
string(FIND "${text}" "<precursorMz precursorIntensity=" precursor_at)
if(scan_at EQUAL -1 OR peaks_at EQUAL -1 OR precursor_at EQUAL -1)
  message(FATAL_ERROR "--layout converter: no scan or peaks tag one attribute a line, or no precursor")
endif()
file(READ ${DIR}/a.mzXML text)
string(FIND "${text}" "<scan num=\"2\" msLevel=\"2\" " scan_at)
if(scan_at EQUAL -1)
  message(FATAL_ERROR "the default layout no longer writes a start tag on one line")
endif()
run_tool(g.mzXML 2 ${small} --layout tabular)

# --layout readw: blanks under the scan tag's first attribute, a tab in the
# peaks tag over three lines; msconvert: the repaired peaks tag, one
# attribute a line, and a filter line.
run_tool(h.mzXML 0 ${small} --seed 3 --layout readw)
file(READ ${DIR}/h.mzXML text)
string(FIND "${text}" "<scan num=\"2\"\n          scanType=\"FULL\"\n" scan_at)
string(FIND "${text}" "<peaks precision=\"32\"\n\t     byteOrder=\"network\"\n\t     pairOrder=\"m/z-int\">" peaks_at)
if(scan_at EQUAL -1 OR peaks_at EQUAL -1)
  message(FATAL_ERROR "--layout readw: no ReAdW scan tag or three-line peaks tag")
endif()
run_tool(i.mzXML 0 ${small} --seed 3 --layout msconvert)
file(READ ${DIR}/i.mzXML text)
string(FIND "${text}" "<peaks compressionType=\"none\"\n             compressedLen=\"0\"\n             precision=\"32\"\n" peaks_at)
string(FIND "${text}" "\n          filterLine=\"ITMS + c NSI d Full ms2 " filter_at)
if(peaks_at EQUAL -1 OR filter_at EQUAL -1)
  message(FATAL_ERROR "--layout msconvert: no repaired peaks tag or no filter line")
endif()
run_tool(j.mzXML 2 ${small} --layout readw --mzxml3)
