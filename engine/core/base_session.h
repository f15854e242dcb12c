// TQDXBaseSession: the engine session as the table engine core sees it.
//
// An engine session connects to one database data object and carries per-session values. This
// file holds what the core needs of it: the session ID, the open flags, the in-transaction and
// multi-user flags and the owned list of named objects with its four operations. The session
// layer derives the full session (connection, transactions) from this class.
//
// A session is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "engine/core/session_named_object.h"
#include "engine/foundation/cipher/engine_cipher.h"

namespace qdx {

class TQDXBaseSession {
 public:
  TQDXBaseSession() = default;
  virtual ~TQDXBaseSession() = default;
  TQDXBaseSession(const TQDXBaseSession&) = delete;
  TQDXBaseSession& operator=(const TQDXBaseSession&) = delete;

  // -1 until the database data gives one; -2 is the system session.
  int32_t SessionID() const { return sessionID_; }
  void SetSessionID(int32_t id) { sessionID_ = id; }
  // The database is shared with other processes.
  bool MultiUser() const { return multiUser_; }
  void SetMultiUser(bool multiUser) { multiUser_ = multiUser; }
  // How the session asks the database to be opened, and what the open reports back.
  bool Exclusive = false;
  bool ReadOnly = false;
  TQDXPassword Password;
  bool RepairNeeded = false;
  // An explicit transaction is open: the table data then leaves committing to the session.
  bool InTransaction = false;

  // The named objects (see TQDXSessionNamedObjects).
  virtual void AddNamedObject(std::unique_ptr<TQDXSessionNamedObject> object) {
    namedObjects_.AddNamedObject(std::move(object));
  }
  virtual TQDXSessionNamedObject* FindNamedObjectByName(std::string_view name) const {
    return namedObjects_.FindNamedObjectByName(name);
  }
  virtual TQDXSessionNamedObject* FindNamedObjectByID(int32_t id) const {
    return namedObjects_.FindNamedObjectByID(id);
  }
  virtual void DeleteNamedObject(int32_t id) { namedObjects_.DeleteNamedObject(id); }

 private:
  int32_t sessionID_ = -1;
  bool multiUser_ = false;
  TQDXSessionNamedObjects namedObjects_;
};

}  // namespace qdx
