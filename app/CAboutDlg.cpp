#include "CAboutDlg.h"

#include "ui_IDD_ABOUTBOX.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::IDD_ABOUTBOX>()) {
  ui_->setupUi(this);
  setFixedSize(size());
}

CAboutDlg::~CAboutDlg() = default;
