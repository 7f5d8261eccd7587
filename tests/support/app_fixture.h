// A test fixture with an open application state and a scripted host, the
// diagnostics flag chosen per test, and a fresh preferences folder.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "base/scriptedhost.h"
#include "base/uistate.h"
#include "support/scratch.h"

class AppFixture : public ::testing::Test {
 protected:
  void OpenState(int diagnostics) {
    CloseState();
    ASSERT_EQ(Ui_State_Open(&state_, 1000, diagnostics), 0);
  }
  void CloseState() {
    if (state_) Ui_State_Close(&state_);
  }
  void SetUp() override {
    host_ = std::make_unique<ScriptedHost>();
    scoped_ = std::make_unique<ScopedHost>(host_.get());
    OpenState(0);
  }
  void TearDown() override {
    CloseState();
    scoped_.reset();
  }
  // The diagnostics log of this process (removed at each call of ClearLog).
  std::string LogPath() const {
    std::string path;
    Ui_Path_SetToPrefFolder(nullptr, path);
    return path + "QuiloDebug.txt";
  }
  std::string LogText() const { return ReadFileText(LogPath()); }
  void ClearLog() const { std::remove(LogPath().c_str()); }

  ScriptedHost& host() { return *host_; }
  UiState* state_ = nullptr;

 private:
  std::unique_ptr<ScriptedHost> host_;
  std::unique_ptr<ScopedHost> scoped_;
};
