#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

// Closes every message box as soon as it is shown and keeps its text, so a
// test can drive the window through its modal messages.
class MessageBoxes
{
public:
    MessageBoxes()
    {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout,
                         [this]
                         {
                             if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                             {
                                 texts.append(box->text());
                                 box->accept();
                             }
                         });
        timer.start();
    }
    QStringList texts;

private:
    QTimer timer;
};
