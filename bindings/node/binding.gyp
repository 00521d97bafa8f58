# The native part, linked against libravelin: the CMake build tree named by
# RAVELIN_BUILD_DIR, else the installed Ravelin that `pkg-config ravelin-c` finds
# (native-flags.js picks the flags).
{
  "targets": [
    {
      "target_name": "ravelin",
      "sources": ["src/ravelin_node.c"],
      "include_dirs": ["<!@(node native-flags.js include)"],
      "libraries": ["<!@(node native-flags.js libraries)"],
      "cflags": ["-std=c11", "-Wall", "-Wextra", "-Werror"]
    }
  ]
}
