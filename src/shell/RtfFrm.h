#pragma once
// The document viewer for the parents: a tool window with a read-only rich
// text control on a pale yellow ground. Closing it only hides it.

#include "win/form.h"
#include "win/rich_edit.h"

#include <memory>

namespace fw {

class TRtfForm : public win::Form {
public:
    static std::unique_ptr<TRtfForm> Create();

    // Places and captions the viewer, loads the document and shows it, not
    // modally. A document that cannot be read leaves it placed but hidden
    // and raises the file error.
    void ShowDocument(const std::wstring& path);
    win::RichEdit& RxRichEdit() { return richEdit_; }

protected:
    void OnResize() override;

protected:
    TRtfForm();

private:
    win::RichEdit richEdit_;
};

} // namespace fw
