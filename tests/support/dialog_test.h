#pragma once
// A fixture for the tests of one dialog: a recording user interface, a scratch folder, and the
// dialog's instance discarded after every test, as unloading it would.

#include <gtest/gtest.h>

#include "framework/dialog.h"
#include "support/cli_runner.h"
#include "support/recording_ui.h"

namespace ondu::test {

template <class Form>
class DialogTest : public ::testing::Test {
protected:
    void TearDown() override { Forms::reset(); }

    /// The dialog, loaded as a click on its command loads it.
    Form& openDialog() {
        Form& form = Forms::get<Form>();
        form.load();
        return form;
    }

    RecordingUI ui;
    TempDir dir;
};

}  // namespace ondu::test
