#pragma once
// The search window with the one Model it shows, made together when the
// window's content is built and kept for the window's life. The Model comes
// first and goes last: Qt deletes a window's controls only after the
// window's own destructor, and each control reads the Model until then.
#include "model/model.h"
#include "ui/main_window.h"

namespace qf {

class DesktopServices;

class ContentView {
public:
    explicit ContentView(DesktopServices& desktop, MainWindowOptions options = {})
        : model_(desktop), window_(model_, std::move(options)) {}
    ContentView(const ContentView&) = delete;
    ContentView& operator=(const ContentView&) = delete;

    Model& model() { return model_; }
    MainWindow& window() { return window_; }

private:
    // Members are destroyed in reverse order: this order is the point.
    Model model_;
    MainWindow window_;
};

}  // namespace qf
