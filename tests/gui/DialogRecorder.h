#pragma once

#include <wx/dialog.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>

#include <functional>
#include <vector>

// Answers every modal dialog at once with a fixed id and records what was shown, so that a
// test never blocks on a real dialog, even one it did not expect.
class DialogRecorder : public wxModalDialogHook
{
public:
    struct Shown
    {
        wxString message;
        wxString caption;
        long style = 0;
    };

    explicit DialogRecorder(int answer = wxID_OK)
        : m_answer(answer)
    {
        Register();
    }
    ~DialogRecorder() override { Unregister(); }

    // Runs while the dialog "is open", before it is answered.
    std::function<void(wxDialog*)> whileOpen;
    std::vector<Shown> shown;

protected:
    int Enter(wxDialog* dialog) override
    {
        Shown record;
        if ( wxMessageDialog* box = dynamic_cast<wxMessageDialog*>(dialog) )
        {
            record.message = box->GetMessage();
            record.caption = box->GetTitle();
            record.style = box->GetMessageDialogStyle();
        }
        else
        {
            record.caption = dialog->GetTitle();
        }
        shown.push_back(record);
        if ( whileOpen )
            whileOpen(dialog);
        return m_answer;
    }
    void Exit(wxDialog*) override {}

private:
    int m_answer;
};
