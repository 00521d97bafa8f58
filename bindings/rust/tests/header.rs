// src/ffi.rs, written by hand, against include/ravelin/ravelin.h: every
// function with the same parameter and return types, the status values and
// the options' fields.
use std::collections::BTreeMap;

const HEADER: &str = include_str!("../../../include/ravelin/ravelin.h");
const FFI: &str = include_str!("../src/ffi.rs");

/// A C type as Rust spells it in ffi.rs: `const char*` is `*const c_char`,
/// `uint8_t**` is `*mut *mut u8`.
fn rust_type(c: &str) -> String {
    let c = c.trim();
    let (is_const, rest) = match c.strip_prefix("const ") {
        Some(rest) => (true, rest),
        None => (false, c),
    };
    let stars = rest.matches('*').count();
    let base = match rest.trim_end_matches('*').trim() {
        "char" => "c_char",
        "int" => "c_int",
        "void" => "c_void",
        "uint8_t" => "u8",
        "uint32_t" => "u32",
        "size_t" => "usize",
        other => other,
    };
    if stars == 0 {
        return base.to_string();
    }
    "*mut ".repeat(stars - 1) + if is_const { "*const " } else { "*mut " } + base
}

/// name -> (parameter types, return type) of the header's exported functions.
fn header_functions() -> BTreeMap<String, (Vec<String>, String)> {
    let mut functions = BTreeMap::new();
    for declaration in HEADER.split("RAVELIN_C_EXPORT ").skip(1) {
        let declaration = declaration.split(';').next().unwrap().split_whitespace().collect::<Vec<_>>().join(" ");
        if declaration.starts_with("__attribute__") || !declaration.contains('(') {
            continue;
        }
        let (head, params) = declaration.split_once('(').unwrap();
        let params = params.trim_end_matches(')');
        let name_at = head.rfind(|c: char| c == ' ' || c == '*').unwrap() + 1;
        let (returns, name) = head.split_at(name_at);
        let types = if params.trim() == "void" {
            Vec::new()
        } else {
            params
                .split(',')
                .map(|p| {
                    let p = p.trim();
                    let at = p.rfind(|c: char| c == ' ' || c == '*').unwrap() + 1;
                    rust_type(&p[..at])
                })
                .collect()
        };
        let returns = if returns.trim() == "void" { String::new() } else { rust_type(returns) };
        functions.insert(name.to_string(), (types, returns));
    }
    functions
}

fn ffi_functions() -> BTreeMap<String, (Vec<String>, String)> {
    let mut functions = BTreeMap::new();
    for line in FFI.lines().map(str::trim).filter(|l| l.starts_with("pub fn ")) {
        let line = line.trim_start_matches("pub fn ").trim_end_matches(';');
        let (name, rest) = line.split_once('(').unwrap();
        let (params, returns) = rest.rsplit_once(')').unwrap();
        let types = params
            .split(", ")
            .filter(|p| !p.is_empty())
            .map(|p| p.split_once(": ").unwrap().1.to_string())
            .collect();
        let returns = returns.trim().trim_start_matches("->").trim().to_string();
        functions.insert(name.to_string(), (types, returns));
    }
    functions
}

#[test]
fn functions_match_the_header() {
    let header = header_functions();
    assert!(header.len() >= 17, "read only {} functions from the header", header.len());
    assert_eq!(ffi_functions(), header);
}

#[test]
fn statuses_and_options_match_the_header() {
    let header_statuses: Vec<(String, String)> = HEADER
        .lines()
        .map(str::trim)
        .filter(|l| l.starts_with("RAVELIN_OK") || l.starts_with("RAVELIN_ERROR_"))
        .map(|l| {
            let (name, value) = l.split_once(" = ").unwrap();
            (name.to_string(), value.split(|c: char| !c.is_ascii_digit()).next().unwrap().to_string())
        })
        .collect();
    let ffi_statuses: Vec<(String, String)> = FFI
        .lines()
        .filter_map(|l| l.strip_prefix("pub const "))
        .map(|l| {
            let (name, rest) = l.split_once(": ravelin_status = ").unwrap();
            (name.to_string(), rest.trim_end_matches(';').to_string())
        })
        .collect();
    assert_eq!(ffi_statuses, header_statuses);

    for name in ["ravelin_bake_options", "ravelin_bake_inputs", "ravelin_event_family"] {
        let header_struct =
            HEADER.split(&format!("typedef struct {name} {{")).nth(1).unwrap().split('}').next().unwrap();
        let header_fields: Vec<(String, String)> = header_struct
            .lines()
            .filter_map(|l| l.split(';').next().filter(|d| !d.trim().is_empty() && !d.trim().starts_with("/*")))
            .map(|d| {
                let d = d.trim();
                let at = d.rfind(|c: char| c == ' ' || c == '*').unwrap() + 1;
                (d[at..].to_string(), rust_type(&d[..at]))
            })
            .collect();
        let ffi_struct = FFI.split(&format!("pub struct {name} {{")).nth(1).unwrap().split('}').next().unwrap();
        let ffi_fields: Vec<(String, String)> = ffi_struct
            .lines()
            .filter_map(|l| l.trim().strip_prefix("pub "))
            .map(|l| {
                let (name, ty) = l.trim_end_matches(',').split_once(": ").unwrap();
                (name.to_string(), ty.to_string())
            })
            .collect();
        assert!(header_fields.len() >= 4, "{name}: read {header_fields:?}");
        assert_eq!(ffi_fields, header_fields, "{name}");
    }
}
