cmake_minimum_required(VERSION 3.21)
# Fails when a source file includes a header of a folder above its own. Run by CTest:
#   cmake -DSOURCE_DIR=<project> -P CheckLayers.cmake
# The folders each may include, besides its own: the order of the libraries in CMakeLists.txt.
set(allowed_platform "")
set(allowed_cameralock "")
set(allowed_hooks platform)
set(allowed_res platform)
set(allowed_frames platform)
set(allowed_settings schedule frames platform res)
set(allowed_schedule platform)
set(allowed_capture cameralock hooks schedule frames platform res)
set(allowed_timeline schedule frames platform)
set(allowed_video timeline hooks schedule frames platform res)
set(allowed_pictures video timeline hooks frames platform res)
set(allowed_session capture cameralock hooks video timeline settings schedule frames platform res)
set(allowed_daily session pictures capture cameralock hooks video timeline settings schedule frames
    platform res)
set(allowed_serve daily session pictures capture cameralock hooks video timeline settings schedule
    frames platform res)
# The widgets half of the platform layer, for the window folders only.
set(allowed_widgets platform)
set(allowed_panel widgets session capture cameralock hooks video timeline settings schedule frames
    platform res)
set(allowed_app panel serve daily pictures widgets session capture cameralock hooks video timeline
    settings schedule frames platform res)
# The modules loaded at first use implement what capture/ and platform/ declare.
set(allowed_modules capture cameralock platform)

set(failures "")
foreach(folder platform res frames settings cameralock hooks schedule timeline capture video
                pictures session daily serve widgets panel app modules)
    file(GLOB sources ${SOURCE_DIR}/${folder}/*.cpp ${SOURCE_DIR}/${folder}/*.h)
    foreach(source ${sources})
        file(STRINGS ${source} includes REGEX "^#include \"[a-z]+/")
        foreach(line ${includes})
            string(REGEX REPLACE "^#include \"([a-z]+)/.*" "\\1" included "${line}")
            if(NOT included STREQUAL folder AND NOT included IN_LIST allowed_${folder})
                file(RELATIVE_PATH shown ${SOURCE_DIR} ${source})
                list(APPEND failures "${shown}: ${line} (${folder} may not use ${included})")
            endif()
        endforeach()
    endforeach()
endforeach()
if(failures)
    list(JOIN failures "\n" text)
    message(FATAL_ERROR "Includes that point upwards:\n${text}")
endif()
