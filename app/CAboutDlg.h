// The About box (form IDD_ABOUTBOX): version line, publisher lines, OK. UI thread only.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class IDD_ABOUTBOX;
}

class CAboutDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
  ~CAboutDlg() override;

 private:
  std::unique_ptr<Ui::IDD_ABOUTBOX> ui_;
};
