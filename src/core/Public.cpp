#include "core/Public.h"

QString LoginName = QString::fromLatin1(DefaultLogin);
QString LoginPswd = QString::fromLatin1(DefaultLogin);
QString CurMac;
int CurBindingIndex = 0;
const QByteArray *CurSearchReply = nullptr;
uint8_t LastOptByte = 0;
uint8_t LastPortOptByte = 0;
QString UpMask;
QString CmdFilePath;
