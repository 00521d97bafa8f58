// The open objects behind the C interface's handles. A handle is a serial
// number, never an address: the library looks it up instead of dereferencing
// it, so a closed, stale or made-up handle is an error rather than a crash, and
// a closed handle is never reused. Lookups hand out shared ownership, so a
// close while other threads still use the object releases it after them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "ravelin/common/file_system.h"
#include "ravelin/dat/lib.h"
#include "ravelin/event_bake/session.h"

namespace ravelin::capi {

struct OpenArchive {
  common::Path path;  // `dat show` picks record types by the archive's name
  dat::DatDatabase db;
};

using OpenSession = event_bake::BakeSession;

// An archive open for changing (capi/editor.cpp).
struct OpenEditor;

// An open object, or why the handle names none ("session is closed", ...).
template <class T>
struct Lookup {
  std::shared_ptr<const T> object;
  std::string problem;  // empty when found
};

std::uintptr_t add_handle(std::shared_ptr<const OpenArchive> archive);
std::uintptr_t add_handle(std::shared_ptr<const OpenSession> session);
std::uintptr_t add_handle(std::shared_ptr<const OpenEditor> editor);

Lookup<OpenArchive> find_archive(std::uintptr_t handle);
Lookup<OpenSession> find_session(std::uintptr_t handle);
Lookup<OpenEditor> find_editor(std::uintptr_t handle);

// Drops the table's reference; the problem text when the handle is not open as that kind.
std::string remove_archive(std::uintptr_t handle);
std::string remove_session(std::uintptr_t handle);
std::string remove_editor(std::uintptr_t handle);

}  // namespace ravelin::capi
