// The floor of the start-up benchmark: a program of the window toolkit that opens one frame of
// the main window's size and ends when it is closed.

#include <wx/app.h>
#include <wx/frame.h>

class BareFrameApp : public wxApp {
public:
    bool OnInit() override {
        (new wxFrame(nullptr, wxID_ANY, wxT("Melvox"), wxDefaultPosition, wxSize(1280, 720)))->Show();
        return true;
    }
};

wxIMPLEMENT_APP(BareFrameApp);
