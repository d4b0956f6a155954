// The pages' Simplified Chinese texts, the language shown when a browser
// asks for neither. Every member is set: the build checks it
// (-Wmissing-field-initializers on this file).
#include "service/core/page_texts.h"

namespace snipora::service {
namespace {

constexpr PageTexts kTexts{
    .languagesLabel = "语言",
    .backHome = "缩短网址",

    .homeTitle = "Snipora：缩短网址",
    .homeHeading = "缩短网址",
    .urlLabel = "长网址",
    .aliasLabel = "自选短代码",
    .aliasHint = "可不填：字母、数字、- 和 _",
    .submit = "缩短",
    .exampleBefore = "短网址形如 ",
    .exampleAfter = "。",
    .download = "Windows 版 Snipora",
    .downloadAfter = "：桌面程序，已设置为用本服务缩短网址。",

    .resultTitle = "Snipora：你的短网址",
    .resultHeading = "你的短网址",
    .copy = "复制",
    .copied = "已复制",
    .qrAlt = "短网址的二维码",
    .leadsTo = "指向",
    .shortenAnother = "再缩短一个网址",

    .notShortened = "未能缩短",
    .empty = "没有填写网址。",
    .tooLong = "网址超过 8192 字节。",
    .malformed = "这不是有效的网址。",
    .scheme = "只能缩短 http 和 https 网址。",
    .credentials = "不接受带用户名或密码的网址。",
    .ownAddress = "这已经是本服务的短网址。",
    .deniedHost = "本服务不缩短这个网站的网址。",
    .notUtf8 = "网址中有不是 UTF-8 文本的字节。",
    .badIdnaHost = "主机名不是有效的国际化域名。",
    .refused = "这个网址不能缩短。",
    .aliasInvalid = "自选短代码须为 1 到 32 个字母、数字、- 或 _，且不能是本服务自用的名称。",
    .aliasTaken = "这个短代码已属于另一个网址。",
    .hasCodeBefore = "这个网址已有短代码 ",
    .hasCodeAfter = "。",
    .tooMany = "你的地址创建短网址过于频繁，请一分钟后再试。",
    .notStored = "网址未能保存，请再试一次。",

    .notFoundTitle = "未找到",
    .notFound = "这里没有短网址。",
    .nothingToDownload = "这里没有可下载的文件。",
    .goneTitle = "链接已失效",
    .gone = "这个短网址已停用或已过期。",
    .reviewTitle = "链接审核中",
    .review = "这个短网址正在审核中：它指向的地址被报告为有害。如果这是误判，请告知本服务的运营者；在他们决定之前，链接会一直保留。",
    .unavailableTitle = "暂时无法使用",
    .unavailable = "短网址存储暂时没有响应，请稍后再试。",
    .tooLargeTitle = "内容过大",
    .tooLarge = "表单超出了本服务接受的大小。",
    .methodTitle = "不支持的请求方法",
    .method = "本服务只响应 GET、HEAD 和 POST。",
    .badTitle = "请求有误",
    .badTarget = "请求目标既不是路径，也不是 http 地址。",
    .badEscape = "表单中有格式错误的 % 转义。",
    .misdirectedTitle = "主机名不符",
    .misdirected = "本服务不响应发往这个主机名的请求。",
};

}  // namespace

const PageTexts& ChineseTexts() { return kTexts; }

}  // namespace snipora::service
