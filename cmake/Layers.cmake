# The layer order, its one owner. Each folder is a library that links the folders named on its
# line, and may include their headers and those of every folder below them, nothing else:
# CMakeLists.txt links the libraries by this list, and the layers test (tests/CheckLayers.cmake)
# checks every include against it. One line a folder, top to bottom; a folder below comes after
# every folder that uses it.
set(VORN_LAYERS
    # The modules loaded at first use implement what capture/ and platform/ declare; they are no
    # library, only their includes are checked.
    "modules: capture"
    "app: panel serve daily"
    "panel: session widgets"
    "serve: video settings notify"
    "daily: session pictures"
    "session: capture video settings"
    "pictures: video"
    "video: timeline hooks frames res"
    "timeline: schedule frames"
    "capture: cameralock hooks schedule frames res"
    "settings: schedule frames"
    "widgets: platform"
    "hooks: platform"
    "schedule: platform"
    "cameralock: platform"
    "notify: frames platform"
    "frames: platform"
    "res: platform"
    "platform:"
)

# The folders `folder` links directly, in `out`.
function(vorn_layer_uses folder out)
    set(uses "")
    foreach(line ${VORN_LAYERS})
        if(line MATCHES "^${folder}:(.*)$")
            string(STRIP "${CMAKE_MATCH_1}" uses)
            separate_arguments(uses UNIX_COMMAND "${uses}")
        endif()
    endforeach()
    set(${out} ${uses} PARENT_SCOPE)
endfunction()
