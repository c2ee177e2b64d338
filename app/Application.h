#pragma once
// The application object: owns the windows (the first created is the main window),
// ends the program when the main window closes, and reports any error that escapes an
// event handler in a box, after which the program goes on.

#include <QApplication>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class TApplication : public QApplication {
    Q_OBJECT

public:
    TApplication(int& argc, char** argv);
    ~TApplication() override;

    // The caption of the application's error boxes.
    QString Title() const;
    void SetTitle(const QString& title);

    // Creates a window, stores it in its global and takes ownership of it.
    template <class TForm>
    void CreateForm(TForm*& reference)
    {
        auto form = std::make_unique<TForm>();
        reference = form.get();
        if (!m_mainForm)
            m_mainForm = form.get();
        m_forms.push_back(OwnedForm{std::move(form), [&reference] { reference = nullptr; }});
    }

    QWidget* MainWindow() const { return m_mainForm; }

    // Shows the main window and runs the loop until the main window closes.
    int Run();

    // The last created first, each global cleared before its window goes.
    void DestroyForms();

    bool notify(QObject* receiver, QEvent* event) override;

private:
    struct OwnedForm {
        std::unique_ptr<QWidget> form;
        std::function<void()> forget;
    };
    QWidget* m_mainForm = nullptr;
    std::vector<OwnedForm> m_forms;
};
