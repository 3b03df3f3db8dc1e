#include "shell/Tips.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QVBoxLayout>

#include "qt/SettingsStore.h"
#include "shell/About.h"

namespace skimlet {

namespace {
const char* const kShowKey = "Tips/CheckBoxShowAtStart.Checked";
}

QStringList TTipsForm::Tips() {
  static const char* const tips[] = {
      "Непрочитанные новости могут быть показаны на ленте. Включается и выключается этот режим через меню "
      "Вид.Чтобы переместить окно ленты новостей нужно удерживать Shift",
      "Настроенный канал новостей можно передать другу. Для этого настройку канала можно сохранить (меню "
      "Файл-Сохранить канал). После сохранения файл можно передать любым удобным способом. Например, по e-mail.",
      "Нажав правую кнопку мыши на новости или папке можно увидеть список возможных действий в контекстных меню.",
      "В списке новостей отображаются атрибуты \"Непрочитанная\" и \"Избранное\". Щелчек по атрибутам позволяет "
      "их изменить.",
      "Двойной щелчек по имени новости или статьи открывает ее в полный экран. Этот режим рекомендуется для чтения.",
      "Вы можете отключить загрузку рисунков через главное меню. Текущий режим загрузки рисунков (и других "
      "вложений) изменяется через меню \"Закачка\".",
      "В заголовках окна для просмотра новостей есть гиперссылки URL, Путь, Имя. Щелчек по каждой из них "
      "приводит к открытию новости в Интернете, Проводнике или Браузере.",
      "Когда программа свернута, то прочесть новые статьи или новости можно не разворачивая программу. Для этого "
      "нужно просто дважды щелкнуть на ленте новостей. Естественно, нужно чтобы лента находиласть в режиме "
      "отображения.",
      "Пункт меню МАКРО необходим только при программировании загрузки канала. Если Вы не уверены в себе, лучше "
      "использовать готовые каналы. Пишите и приходите на наш сайт почаще.",
      "Случайно удаленные новости можно восстановить привычным способом - через Корзину Windows.",
      "Для своей работы программа использует существующее соединение с Интернет. Настройку прокси и других "
      "параметров можно выполнить с свойствах обозревателя Internet Explorer.",
      "Если ваш компьютер работает достаточно быстро, установите на вкладке \"Настройки\" размер истории "
      "побольше. Это поможет избежать повторной загрузки новостей.",
      "Если Вы видете новость в нечитабельном виде: 1) Установите в Вашем браузере отображение в кодировке "
      "Кириллица-Windows (в теле новости - используйте правую кнопку мыши). 2) Если отображение не "
      "восстановилось выполните преобразование из КОИ-8 в Win1251 через меню Правка.",
      "Вы можете выделить все новости текущей рубрики нажав Ctrl+A",
      "В настройках можно установить ограничение на число загрузок за одну сессию. Это позволяет ограничить "
      "трафик. Получение оставшихся новостей откладывается до нового сеанса.",
      nullptr,  // the maker's site, below
      "Программирование загрузки лучше всего начинать с примеров. Возмите любой готовый канал, разберитесь как "
      "он работает и попробуйте создать такой же.",
      "Если Вы создали канал, который пости ежедневно сообщает качественную информация из Сети, пришите его нам. "
      "Пусть о нем узнают все пользователи Skimlet.",
  };
  QStringList out;
  for (const char* tip : tips)
    out << (tip ? QString::fromUtf8(tip)
                : QString::fromUtf8("Новые готовые каналы время от времени появляются на нашем сайте %1. "
                                    "Заглядывайте туда: возможно, нужный Вам сайт уже настроен.")
                      .arg(QString::fromLatin1(kMakerSite)));
  return out;
}

TTipsForm::TTipsForm(SettingsStore& store, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), store_(store) {
  setObjectName("TipsForm");
  setWindowTitle(QString::fromUtf8("Главное меню --> Помощь --> FAQ"));
  setModal(true);
  setAttribute(Qt::WA_QuitOnClose, false);

  auto* header = new QLabel(QString::fromUtf8("Часто возникающие вопросы"), this);
  header->setObjectName("LabelHeader");
  QFont big = header->font();
  big.setPixelSize(20);
  big.setBold(true);
  header->setFont(big);

  tip_ = new QLabel(this);
  tip_->setObjectName("LabelTip");
  tip_->setWordWrap(true);
  tip_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  tip_->setMargin(10);
  tip_->setMinimumSize(380, 130);
  tip_->setStyleSheet("QLabel { background: rgb(255, 251, 240); color: black; font-size: 13px; }");

  check_ = new QCheckBox(QString::fromUtf8("Показывать при старте."), this);
  check_->setObjectName("CheckBoxShowAtStart");
  check_->setChecked(true);
  auto* next = new QPushButton(QString::fromUtf8("Дальше"), this);
  next->setObjectName("ButtonNext");
  auto* close = new QPushButton(QString::fromUtf8("Закрыть"), this);
  close->setObjectName("ButtonClose");
  connect(next, &QPushButton::clicked, this, &TTipsForm::Next);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(check_);
  buttons->addStretch(1);
  buttons->addWidget(next);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(header);
  layout->addWidget(tip_, 1);
  layout->addLayout(buttons);
  next->setDefault(true);
}

bool TTipsForm::ShowAtStart() const { return store_.Number(kShowKey).value_or(1) != 0; }

void TTipsForm::ShowTips(int start) {
  check_->setChecked(ShowAtStart());
  index_ = start;
  ShowTip();
  show();
  raise();
  activateWindow();
}

void TTipsForm::ShowAtRandom() { ShowTips(static_cast<int>(QRandomGenerator::global()->bounded(Tips().size()))); }

void TTipsForm::Next() {
  index_ = (index_ + 1) % static_cast<int>(Tips().size());
  ShowTip();
}

void TTipsForm::ShowTip() { tip_->setText(Tips().value(index_)); }

void TTipsForm::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  store_.Write(kShowKey, check_->isChecked() ? "1" : "0");
}

}  // namespace skimlet
