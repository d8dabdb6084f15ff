#pragma once
// Scripted stand-ins for the dialogs, message boxes and desktop services, so
// that a test drives the windows without a modal loop, and records what the
// windows asked and said.
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

#include "form_services.h"

namespace pressmark::gui::testing {

struct TScript {
    // Answers.
    bool PresentationAppInstalled = true;
    QStringList FilesToOpen;                  // empty: the open dialog is cancelled
    QString FolderToChoose;                   // empty: the folder dialog is cancelled
    std::function<bool(const QString&)> Answer = [](const QString&) { return false; };
    TConversionRunner Runner;
    std::function<std::unique_ptr<TControlProbe>()> CreateControl;

    // What the windows did.
    int OpenDialogs = 0;
    QString OpenTitle, OpenFilter;
    QString FolderTitle, FolderStart;
    QStringList Informations, Errors, Questions;
    QList<QUrl> OpenedUrls;

    TFormServices Services() {
        TFormServices s;
        s.OpenFiles = [this](QWidget*, const QString& title, const QString& filter) {
            ++OpenDialogs;
            OpenTitle = title;
            OpenFilter = filter;
            return FilesToOpen;
        };
        s.ChooseFolder = [this](QWidget*, const QString& title, const QString& start) {
            FolderTitle = title;
            FolderStart = start;
            return FolderToChoose;
        };
        s.Information = [this](QWidget*, const QString& text) { Informations << text; };
        s.Error = [this](QWidget*, const QString& text) { Errors << text; };
        s.AskYesNo = [this](QWidget*, const QString& text) {
            Questions << text;
            return Answer(text);
        };
        s.OpenUrl = [this](const QUrl& url) { OpenedUrls << url; };
        s.PresentationAppInstalled = [this] { return PresentationAppInstalled; };
        s.CreateControl = [this]() -> std::unique_ptr<TControlProbe> {
            return CreateControl ? CreateControl() : std::make_unique<TControlProbe>();
        };
        s.RunConversion = [this](const TRunRequest& r, TRunProgress& p, std::stop_token stop) {
            if (Runner) Runner(r, p, std::move(stop));
        };
        return s;
    }
};

}  // namespace pressmark::gui::testing
