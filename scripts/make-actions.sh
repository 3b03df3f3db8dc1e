#!/usr/bin/env bash
# Writes resources/Actions/ActionsList.txt, the command catalogue, from the UTF-8 text below:
# Windows-1251, CR LF. Entries 0..9 are the ten macro commands in the order a macro uses
# them; entry 0 is what a new step gets. Only the parameters that a command tests for
# "StandartParameter=N" have variants: a variant on any other parameter would be stored as a
# reference that the command takes literally.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$root/resources/Actions/ActionsList.txt"
mkdir -p "$(dirname "$out")"
tmp="$(mktemp "$out.XXXXXX")"
trap 'rm -f "$tmp"' EXIT

iconv -f UTF-8 -t WINDOWS-1251 <<'EOF' | sed 's/$/\r/' >"$tmp"
; Каталог макрокоманд Skimlet. Строка без знака равенства - комментарий.

Name=Загрузить стартовую страницу
ProcedureName=GetStart
Hint=Загружает стартовую страницу сайта (список новостей) в буфер IndexHTML. Если на ней нет ключевого фрагмента, загрузка канала прекращается.
P1Label=Адрес стартовой страницы (URL)
P1=http://
P1Enable=True
P2Label=Фрагмент, который обязательно есть на странице (*, ?, ~)
P2=</html>
P2Enable=True
P3Label=Если фрагмента нет, перейти к шагу №
P3=-1
P3Enable=True
P4Enable=False

Name=Найти ссылку на новость
ProcedureName=FindUrlNews
Hint=Ищет в IndexHTML первую ещё не взятую ссылку, в которой есть фрагмент, и запоминает её в NewsURL. Когда новых ссылок нет, переходит к указанному шагу.
P1Label=Фрагмент, который есть в ссылке на новость (*, ?, ~)
P1=.html
P1Enable=True
P2Label=Если новых ссылок нет, перейти к шагу №
P2=-1
P2Enable=True
P3Enable=False
P4Enable=False

Name=Исправить адрес новости
ProcedureName=EditUrlNews
Hint=Заменяет фрагмент в адресе NewsURL, дописывает текст в начало и в конец и делает адрес полным относительно стартовой страницы.
P1Label=Заменить в адресе фрагмент (*, ?, ~)
P1Enable=True
P2Label=на текст
P2Enable=True
P3Label=Добавить в начало адреса
P3Enable=True
P4Label=Добавить в конец адреса
P4Enable=True

Name=Загрузить страницу новости
ProcedureName=GetNews
Hint=Загружает страницу по адресу NewsURL в HTML-буфер. Если она уже есть в истории загрузок или в ней нет фрагмента, переходит к указанному шагу.
P1Label=Фрагмент, который обязательно есть на странице новости (*, ?, ~)
P1=</html>
P1Enable=True
P2Enable=False
P3Enable=False
P4Label=Если страница уже загружалась или фрагмента нет, перейти к шагу №
P4=1
P4Enable=True

Name=Обработать страницу новости
ProcedureName=EditHTMLNews
Hint=Готовит страницу в HTML-буфере к чтению без сети: убирает скрипты, делает адреса ссылок и рисунков полными и заменяет заданный фрагмент.
P1Label=Адреса ссылок (href=) и рисунков (src=)
P1Var=Сделать адреса полными
P1Var=Оставить как есть
P1=Сделать адреса полными
P1Enable=True
P2Label=Скрипты
P2Var=Удалить скрипты
P2Var=Оставить скрипты
P2=Удалить скрипты
P2Enable=True
P3Label=Заменить фрагмент страницы, до 999 раз (*, ?, ~)
P3Enable=True
P4Label=на текст
P4Enable=True

Name=Найти заголовок новости
ProcedureName=FindNameNews
Hint=Берёт название новости из текста между двумя метками (регистр букв не важен). Из названия получается имя файла новости.
P1Label=Метка перед заголовком
P1=<title>
P1Enable=True
P2Label=Метка после заголовка
P2=</title>
P2Enable=True
P3Enable=False
P4Enable=False

Name=Найти рисунки и стили
ProcedureName=FindAttachment
Hint=Находит на странице рисунки (gif, jpg, jpeg, png, bmp, pcx) и стили (css), записывает их список в начало страницы и ставит их в очередь на загрузку в папку Attachment.
P1Label=Ссылки на рисунки и стили
P1Var=Заменить ссылками на копии в папке Attachment
P1Var=Оставить ссылки на сайт
P1=Заменить ссылками на копии в папке Attachment
P1Enable=True
P2Label=Загрузка рисунков и стилей
P2Var=Загружать
P2Var=Не загружать
P2=Загружать
P2Enable=True
P3Label=Прочие рисунки с сайта (когда ссылки заменены)
P3Var=Заменить логотипом SkimletLogo.gif
P3Var=Заменить пустой ссылкой #
P3Var=Оставить как есть
P3=Заменить пустой ссылкой #
P3Enable=True
P4Enable=False

Name=Сохранить новость
ProcedureName=SaveNews
Hint=Сохраняет страницу из HTML-буфера в файл новости в этой папке и записывает её адрес в историю загрузок. Страница короче 50 символов не сохраняется.
P1Enable=False
P2Enable=False
P3Enable=False
P4Enable=False

Name=Перейти к шагу
ProcedureName=GotoMacro
Hint=Переходит к шагу с указанным номером: всегда или смотря по тому, есть ли фрагмент в NewsURL, HTML-буфере или IndexHTML. Так повторяют поиск следующей новости.
P1Label=Перейти к шагу №
P1=1
P1Enable=True
P2Label=Условие перехода
P2Var=Всегда
P2Var=Если фрагмент найден
P2Var=Если фрагмент не найден
P2=Всегда
P2Enable=True
P3Label=Где искать фрагмент
P3Var=В адресе новости (NewsURL)
P3Var=В странице новости (HTML-буфер)
P3Var=В стартовой странице (IndexHTML)
P3=В адресе новости (NewsURL)
P3Enable=True
P4Label=Фрагмент (*, ?, ~)
P4Enable=True

Name=Пустой шаг (ничего не делать)
ProcedureName=NotOperation
Hint=Ничего не делает. Годится как заметка в списке шагов или как место для будущей команды.
P1Enable=False
P2Enable=False
P3Enable=False
P4Enable=False
EOF
mv "$tmp" "$out"
trap - EXIT
