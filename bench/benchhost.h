// The window's side of the document workflow for benchmarks: the password
// is already typed, every question has its answer ready.
#pragma once

#include "app/documentworkflow.h"
#include "editor/richeditor.h"

namespace veskel::bench {

class BenchHost : public DocumentHost
{
public:
    explicit BenchHost(QString password)
        : m_password(std::move(password))
    {}

    TRichEditor editor;
    QString path;
    bool overwriteChanged = false; // the answer to "changed by another program"

    TRichEditor &Editor() override { return editor; }
    QString DocumentPath() const override { return path; }
    void SetFileName(const QString &p) override { path = p; }
    int ShowPasswordDialog() override { return 1; }
    QString PasswordText() const override { return m_password; }
    int ShowPasswordAgain(QString &typed) override
    {
        typed = m_password;
        return 1;
    }
    void ShowMessage(const QString &) override {}
    LossyAnswer ConfirmLossySave(const OldFormatLoss &) override { return LossyAnswer::Cancel; }
    bool ConfirmOverwriteChanged(const QString &) override { return overwriteChanged; }
    UnsavedAnswer AskSaveChanges(const QString &) override { return UnsavedAnswer::Discard; }
    WrongPasswordAnswer AskAfterWrongPassword() override { return WrongPasswordAnswer::TryAgain; }
    bool ChooseSavePath(QString &, DocumentFormat &) override { return false; }
    void ShowFormat(DocumentFormat) override {}
    void SetBusy(bool) override {}

private:
    QString m_password;
};

} // namespace veskel::bench
