# Prepares what the fuzz targets read besides their input, below DATA:
#   standards/<release>/  a catalogue of two releases with a handful of messages, for the interchange targets
#   tables/<release>.SDT  segment tables that message tables name
#   sources/D96A.sdf      a short segment source that message sources embed
#   orders.edi            an interchange that loaded message tables read
#   seeds/<kind>/         seed corpora: tables, sources, samples, directory texts and archives
# DATA/releases/<release>/ holds the releases the build imported and compiled.
#   cmake -DCLI=talmiro-cli -DSOURCE_DIR=repo -DDATA=dir -P seeds.cmake
cmake_minimum_required(VERSION 3.25)

set(releases D93A D96A D01B D21B)
set(catalogue_releases D96A D01B)
set(catalogue_messages ORDERS INVOIC DESADV APERAK IFTMIN IFCSUM QUOTES DELFOR)
set(seed_messages ORDERS INVOIC VESDEP)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${ARGN}: ${err}")
  endif()
endfunction()

# The first bytes of a text up to its last line break before the limit.
function(cut_lines text limit out)
  string(LENGTH "${text}" length)
  if(length GREATER limit)
    string(SUBSTRING "${text}" 0 ${limit} text)
    string(FIND "${text}" "\n" at REVERSE)
    if(at GREATER 0)
      string(SUBSTRING "${text}" 0 ${at} text)
      string(APPEND text "\n")
    endif()
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# A segment source cut after its segments within the limit, ended as the language wants.
function(cut_segment_source source limit out)
  file(READ ${source} text)
  string(SUBSTRING "${text}" 0 ${limit} head)
  string(FIND "${head}" "\nSEGMENT " at REVERSE)
  string(SUBSTRING "${text}" 0 ${at} head)
  file(WRITE ${out} "${head}\nEND;\n")
endfunction()

file(REMOVE_RECURSE ${DATA}/standards ${DATA}/tables ${DATA}/sources ${DATA}/seeds ${DATA}/work)
set(seeds ${DATA}/seeds)
file(MAKE_DIRECTORY ${DATA}/tables ${DATA}/sources ${DATA}/work)
foreach(kind interchange segment-table message-table source ini untdid-text untdid-archive code-list export guideline)
  file(MAKE_DIRECTORY ${seeds}/${kind})
endforeach()

# The catalogue.
foreach(release ${catalogue_releases})
  set(from ${DATA}/releases/${release})
  set(to ${DATA}/standards/${release})
  file(MAKE_DIRECTORY ${to})
  file(COPY ${from}/${release}.sdf ${from}/${release}.SDT ${from}/CODES.CLT DESTINATION ${to})
  foreach(message ${catalogue_messages})
    if(EXISTS ${from}/${message}.mdf)
      file(COPY ${from}/${message}.mdf ${from}/${message}.MDT DESTINATION ${to})
    endif()
  endforeach()
endforeach()
file(COPY ${SOURCE_DIR}/samples/d96a_orders.edi DESTINATION ${DATA}/work)
file(RENAME ${DATA}/work/d96a_orders.edi ${DATA}/orders.edi)

# Guidelines: the example sources and their tables, compiled against the imported releases.
file(GLOB guideline_sources ${SOURCE_DIR}/samples/guidelines/*.gdf)
file(COPY ${guideline_sources} DESTINATION ${seeds}/guideline)
file(GLOB guideline_seeds ${seeds}/guideline/*.gdf)
execute_process(COMMAND ${CLI} compile --standards ${DATA}/releases ${guideline_seeds})

# Interchanges: the bundled samples beside the repository's own corpus.
file(GLOB samples ${SOURCE_DIR}/samples/*.edi)
file(COPY ${samples} DESTINATION ${seeds}/interchange)

# Tables and sources of every release: the segment table, a few message tables and their sources.
foreach(release ${releases})
  set(from ${DATA}/releases/${release})
  file(COPY ${from}/${release}.SDT DESTINATION ${DATA}/tables)
  file(COPY_FILE ${from}/${release}.SDT ${seeds}/segment-table/${release}.SDT)
  foreach(message ${seed_messages})
    if(EXISTS ${from}/${message}.mdf)
      file(COPY_FILE ${from}/${message}.MDT ${seeds}/message-table/${release}-${message}.MDT)
      file(COPY_FILE ${from}/${message}.mdf ${seeds}/source/${release}-${message}.mdf)
    endif()
  endforeach()
  cut_segment_source(${from}/${release}.sdf 6000 ${seeds}/source/${release}-short.sdf)
  # Code lists: the head of each release's file (D93A has none).
  if(EXISTS ${from}/CODES.CLT)
    file(READ ${from}/CODES.CLT text)
    cut_lines("${text}" 8000 text)
    file(WRITE ${seeds}/code-list/${release}.CLT "${text}")
  endif()
endforeach()
cut_segment_source(${DATA}/releases/D96A/D96A.sdf 6000 ${DATA}/sources/D96A.sdf)

# Message tables with their segments embedded, and tables of the repository's own small sources.
foreach(pair D96A:VESDEP D21B:ORDERS)
  string(REPLACE ":" ";" pair ${pair})
  list(GET pair 0 release)
  list(GET pair 1 message)
  set(work ${DATA}/work/embed-${release})
  file(MAKE_DIRECTORY ${work})
  file(COPY ${DATA}/releases/${release}/${message}.mdf DESTINATION ${work})
  run(${CLI} compile --embed-segments --search-path ${DATA}/releases/${release} ${work}/${message}.mdf)
  file(COPY_FILE ${work}/${message}.MDT ${seeds}/message-table/${release}-${message}-embedded.MDT)
endforeach()
file(GLOB own_sources ${SOURCE_DIR}/fuzz/corpus/source/*)
set(work ${DATA}/work/own)
file(MAKE_DIRECTORY ${work})
file(COPY ${own_sources} DESTINATION ${work})
file(GLOB own_sdf ${work}/*.sdf)
foreach(source ${own_sdf})
  execute_process(COMMAND ${CLI} compile --search-path ${work} ${source} OUTPUT_QUIET ERROR_QUIET)
endforeach()
file(GLOB own_mdf ${work}/*.mdf)
foreach(source ${own_mdf})
  execute_process(COMMAND ${CLI} compile --embed-segments --search-path ${work} ${source} OUTPUT_QUIET ERROR_QUIET)
endforeach()
file(GLOB own_sdt ${work}/*.SDT)
file(GLOB own_mdt ${work}/*.MDT)
if(own_sdt)
  file(COPY ${own_sdt} DESTINATION ${seeds}/segment-table)
endif()
if(own_mdt)
  file(COPY ${own_mdt} DESTINATION ${seeds}/message-table)
endif()

# Directory texts and archives: extracts of the bundled archives, a segment directory cut short and a
# small message text, alone and packed as the UN packs them (flat, or one archive per directory kind).
function(extract archive member into)
  file(MAKE_DIRECTORY ${into})
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${archive} ${member} WORKING_DIRECTORY ${into}
                  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
  if(NOT rc EQUAL 0 OR NOT EXISTS ${into}/${member})
    message(FATAL_ERROR "cannot extract ${member} from ${archive}")
  endif()
endfunction()
set(untdid ${SOURCE_DIR}/standards/untdid)
# release, outer archive, segment directory archive and text, message archive and text
foreach(spec "D93A;d93a.zip;EDSD.zip;EDSD.93A;edmd.zip;STATAC_D.93A"
             "D96A;d96a.zip;TRSD.ZIP;TRSD.96A;TRMD.ZIP;VESDEP_D.96A"
             "D01B;d01b.zip;EDSD.ZIP;EDSD.01B;EDMD.ZIP;VESDEP_D.01B"
             "D21B;d21b.zip;edsd.zip;EDSD.21B;edmd.zip;VESDEP_D.21B")
  list(GET spec 0 release)
  list(GET spec 1 outer)
  list(GET spec 2 sdZip)
  list(GET spec 3 sdText)
  list(GET spec 4 mdZip)
  list(GET spec 5 mdText)
  set(work ${DATA}/work/untdid-${release})
  extract(${untdid}/${outer} ${sdZip} ${work})
  extract(${untdid}/${outer} ${mdZip} ${work})
  extract(${work}/${sdZip} ${sdText} ${work}/texts)
  extract(${work}/${mdZip} ${mdText} ${work}/texts)
  file(READ ${work}/texts/${sdText} text)
  cut_lines("${text}" 12000 text)
  file(WRITE ${work}/cut/${sdText} "${text}")
  file(COPY_FILE ${work}/cut/${sdText} ${seeds}/untdid-text/${sdText})
  file(COPY_FILE ${work}/texts/${mdText} ${seeds}/untdid-text/${mdText})
  # Flat: both texts at the top of the archive.
  file(COPY_FILE ${work}/texts/${mdText} ${work}/cut/${mdText})
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${seeds}/untdid-archive/${release}-flat.zip --format=zip
                          ${sdText} ${mdText}
                  WORKING_DIRECTORY ${work}/cut RESULT_VARIABLE rc)
  # Nested: one archive per directory kind inside the release's archive.
  file(MAKE_DIRECTORY ${work}/nested)
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${work}/nested/${sdZip} --format=zip ${sdText}
                  WORKING_DIRECTORY ${work}/cut)
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${work}/nested/${mdZip} --format=zip ${mdText}
                  WORKING_DIRECTORY ${work}/cut)
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${seeds}/untdid-archive/${release}-nested.zip --format=zip
                          ${sdZip} ${mdZip}
                  WORKING_DIRECTORY ${work}/nested)
endforeach()
file(REMOVE_RECURSE ${DATA}/work)
