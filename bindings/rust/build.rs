// Links libravelin.so: from the CMake build tree named by RAVELIN_BUILD_DIR, else
// from the installed Ravelin that `pkg-config ravelin-c` finds. The library's
// directory also goes into the run path, so programs and tests run as built.
use std::env;
use std::path::PathBuf;
use std::process::Command;

fn pkg_config_libdir() -> Result<String, String> {
    let output = Command::new("pkg-config")
        .args(["--variable=libdir", "ravelin-c"])
        .output()
        .map_err(|e| format!("cannot run pkg-config: {e}"))?;
    if !output.status.success() {
        return Err(format!(
            "pkg-config finds no ravelin-c: {}",
            String::from_utf8_lossy(&output.stderr).trim()
        ));
    }
    Ok(String::from_utf8_lossy(&output.stdout).trim().to_string())
}

fn main() {
    println!("cargo:rerun-if-env-changed=RAVELIN_BUILD_DIR");
    println!("cargo:rerun-if-env-changed=PKG_CONFIG_PATH");
    let libdir = match env::var_os("RAVELIN_BUILD_DIR") {
        Some(build) => {
            let dir = PathBuf::from(build).join("capi");
            if !dir.join("libravelin.so").exists() {
                panic!("RAVELIN_BUILD_DIR: no libravelin.so in {} (build the ravelin_c target)", dir.display());
            }
            dir.to_string_lossy().into_owned()
        }
        None => pkg_config_libdir().unwrap_or_else(|e| {
            panic!("{e}; install Ravelin (ravelin-c.pc) or set RAVELIN_BUILD_DIR to a CMake build tree")
        }),
    };
    println!("cargo:rustc-link-search=native={libdir}");
    println!("cargo:rustc-link-lib=dylib=ravelin");
    println!("cargo:rustc-link-arg=-Wl,-rpath,{libdir}");
    println!("cargo:rerun-if-changed={libdir}/libravelin.so");
}
