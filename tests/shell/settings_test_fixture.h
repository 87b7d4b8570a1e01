// The Settings sheet's test fixture: a fresh registry and store, a
// scripted Ui, a worker and a context for the sheet, name-dialog answers
// from a queue, and the helpers that find the pages' fields.
#pragma once

#include <QAbstractButton>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "client/engine/conn_worker.h"
#include "client/listing/listing_thread.h"
#include "client/listing/type_names.h"
#include "client/session/session_store.h"
#include "client/shell/settings_firewall_page.h"
#include "client/shell/settings_sheet.h"
#include "client/shell/settings_session_page.h"
#include "platform/net.h"
#include "platform/registry.h"
#include "tests/support/scripted_ui.h"

namespace tarn::shell::settings_test {

using tarn::testing::ScriptedUi;

// Names typed into the name dialog, in order; none left is Cancel.
class Choosers : public SettingsChoosers {
 public:
  std::deque<std::string> names;
  std::vector<std::string> proposed;  // what the dialog opened with
  bool SessionName(QWidget*, Ui&, bool, const std::function<bool(const std::string&)>&,
                   std::string* name) override {
    proposed.push_back(*name);
    if (names.empty()) return false;
    *name = names.front();
    names.pop_front();
    return true;
  }
  std::string Folder(QWidget*, const std::string&) override { return ""; }
  std::string CertFile(QWidget*, const std::string&) override { return ""; }
};

struct Fixture {
  Fixture() {
    std::string error;
    registry = ::platform::OpenSqliteRegistry(dir.filePath("registry.sqlite").toStdString(), &error);
    store = std::make_unique<SessionStore>(*registry, ui, scrambler);
    conn.app = &app;
    conn.ui = &ui;
    conn.net = &net;
    worker = std::make_unique<ConnWorker>(conn);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
    ctx.reset(new ShellContext{app, *registry, *store, conn, *worker, listing, ui, typeNames});
#pragma GCC diagnostic pop
    ctx->scrambler = &scrambler;
  }
  ~Fixture() { worker.reset(); }

  void AddSession(const std::string& name, const std::string& host) {
    HostRecord rec;
    store->CreateSession(name, host, {}, &rec);
  }
  std::string StoredHost(const std::string& name) {
    HostRecord rec;
    return store->LoadSession(name, &rec, nullptr) ? rec.cHostName : "(none)";
  }
  // A sheet on show and active, so that the focus can be checked.
  std::unique_ptr<SettingsSheet> Open(SettingsMode mode, const std::string& name,
                                      const HostRecord* prefill = nullptr) {
    auto sheet = std::make_unique<SettingsSheet>(*ctx, choosers);
    if (!sheet->Start(mode, name, {}, prefill)) return nullptr;
    sheet->show();
    sheet->activateWindow();
    if (!QTest::qWaitForWindowActive(sheet.get())) return nullptr;
    return sheet;
  }

  QTemporaryDir dir;
  std::unique_ptr<::platform::Registry> registry;
  ScriptedUi ui;
  PasswordScrambler scrambler{0};
  std::unique_ptr<SessionStore> store;
  AppState app;
  ::platform::Net net;
  FtpConn conn;
  listing::ListingContext listing;
  listing::MimeTypeNames typeNames;
  std::unique_ptr<ConnWorker> worker;
  std::unique_ptr<ShellContext> ctx;
  Choosers choosers;
};

template <class T>
inline T* Field(SessionSettingsPage* page, SettingsField f) {
  return qobject_cast<T*>(page->FieldWidget(f));
}
template <class T>
inline T* Field(FirewallSettingsPage* page, SettingsField f) {
  return qobject_cast<T*>(page->FieldWidget(f));
}

inline QAbstractButton* ButtonNamed(QWidget* in, const QString& text) {
  for (auto* b : in->findChildren<QAbstractButton*>())
    if (b->text() == text) return b;
  return nullptr;
}

// The session page's log-on: "Specify:" with a user and saved passwords.
inline void SpecifyUser(SessionSettingsPage* page, const char* user, const char* password) {
  ButtonNamed(page, "Specify:")->click();
  Field<QLineEdit>(page, SettingsField::kUserName)->setText(user);
  ButtonNamed(page, "Save Password(s)")->click();
  Field<QLineEdit>(page, SettingsField::kPassword)->setText(password);
}


}  // namespace tarn::shell::settings_test
