# The native part, linked against libravelin: the CMake build tree named by
# RAVELIN_BUILD_DIR, else the installed Ravelin that `pkg-config ravelin-c` finds
# (native-flags.js picks the flags). node-addon-api with C++ exceptions.
{
  "targets": [
    {
      "target_name": "ravelin",
      "sources": ["src/ravelin_node.cpp"],
      "dependencies": ["<!(node -p \"require('node-addon-api').targets\"):node_addon_api_except"],
      "include_dirs": ["<!@(node native-flags.js include)"],
      "libraries": ["<!@(node native-flags.js libraries)"],
      "cflags_cc": ["-std=c++17", "-Wall", "-Wextra"]
    }
  ]
}
