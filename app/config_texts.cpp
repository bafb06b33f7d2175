#include "app/config_texts.h"

#include <QCoreApplication>
#include <QFile>
#include <cstring>

namespace tillvane {
namespace {

QString Path(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

QString Reason(const ConfigChoice& choice) {
  switch (choice.unreadable_problem) {
    case ConfigProblem::DanglingLink:
      return QCoreApplication::translate("ConfigFile", "它是一个链接，指向的文件不存在");
    case ConfigProblem::Folder:
      return QCoreApplication::translate("ConfigFile", "它是一个文件夹");
    case ConfigProblem::NotRegular:
      return QCoreApplication::translate("ConfigFile", "它不是普通文件");
    case ConfigProblem::SystemError:
      return QString::fromLocal8Bit(std::strerror(choice.error_number));
    case ConfigProblem::None:
      break;
  }
  return QString();
}

}  // namespace

QString ConfigFileLabel(const ConfigChoice& choice) {
  if (choice.path.empty()) return QCoreApplication::translate("ConfigFile", "无配置文件");
  return Path(choice.path);
}

QString ConfigHelpLine(const ConfigChoice& choice) {
  if (choice.path.empty())
    return QCoreApplication::translate("ConfigFile", "配置文件：无（使用默认设置）");
  return QCoreApplication::translate("ConfigFile", "配置文件：%1").arg(Path(choice.path));
}

QString ConfigProblemMessage(const ConfigChoice& choice) {
  if (choice.unreadable_path.empty()) return QString();
  QString text = QCoreApplication::translate("ConfigFile", "配置文件“%1”无法读取：%2。")
                     .arg(Path(choice.unreadable_path), Reason(choice));
  text += QLatin1Char('\n');
  if (choice.path.empty()) {
    text += QCoreApplication::translate("ConfigFile", "使用默认设置。");
  } else {
    text += QCoreApplication::translate("ConfigFile", "改为读取“%1”。").arg(Path(choice.path));
  }
  return text;
}

}  // namespace tillvane
