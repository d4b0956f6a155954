// The console's texts in Chinese and English. Every member is set: the build
// checks it (-Wmissing-field-initializers on this file).
#include "service/core/console_texts.h"

namespace snipora::service {
namespace {

constexpr ConsoleTexts kEnglish{
    .consoleName = "Console",
    .navLabel = "Console",
    .myLinks = "My links",
    .newLink = "New link",
    .everyonesLinks = "Everyone's links",
    .people = "People",
    .signOut = "Sign out",

    .signInTitle = "Snipora: sign in",
    .signInWithKey = "Sign in with an API key",
    .keyLabel = "API key",
    .signIn = "Sign in",
    .signInRefused = "That key is not valid, or its holder is locked out.",
    .signedOut = "You have signed out.",
    .signInWithProvider = "Sign in with your organisation's account",
    .providerRefused = "The sign-in through your organisation's account was refused:",
    .providerUnavailable = "Your organisation's sign-in does not answer now. Try again later.",

    .searchLabel = "Search address, title, tag or code",
    .search = "Search",
    .stateLabel = "State",
    .stateAny = "Any",
    .stateActive = "Active",
    .stateDisabled = "Disabled",
    .tagLabel = "Tag",
    .createdFromLabel = "Created on or after",
    .colShort = "Short address",
    .colLeadsTo = "Leads to",
    .colTitle = "Title",
    .colClicks = "Clicks",
    .colCreated = "Created",
    .colState = "State",
    .copy = "Copy",
    .active = "active",
    .disabled = "disabled",
    .noLinks = "No links.",
    .nextPage = "Next page",

    .linkTitle = "Snipora: a link",
    .disable = "Disable",
    .enable = "Enable",
    .publicNoteLabel = "Note shown to visitors",

    .colName = "Name",
    .colEmail = "Email",
    .colRole = "Role",
    .colLastSeen = "Last seen",
    .colActions = "Actions",
    .admin = "admin",
    .creator = "creator",
    .locked = "locked out",
    .makeAdmin = "Make admin",
    .makeCreator = "Make creator",
    .lockOut = "Lock out",
    .letIn = "Let in again",

    .refusedTitle = "Refused",
    .crossSite = "This change did not come from this service's own page, or the page was too old. Nothing was changed.",
    .adminsOnly = "Only admins may see this page.",
    .notYours = "There is no such link among yours.",
};

constexpr ConsoleTexts kChinese{
    .consoleName = "控制台",
    .navLabel = "控制台",
    .myLinks = "我的链接",
    .newLink = "新建链接",
    .everyonesLinks = "所有人的链接",
    .people = "用户",
    .signOut = "退出登录",

    .signInTitle = "Snipora：登录",
    .signInWithKey = "用 API 密钥登录",
    .keyLabel = "API 密钥",
    .signIn = "登录",
    .signInRefused = "该密钥无效，或其持有人已被锁定。",
    .signedOut = "您已退出登录。",
    .signInWithProvider = "用您所在机构的账号登录",
    .providerRefused = "通过机构账号的登录被拒绝：",
    .providerUnavailable = "您所在机构的登录服务现在没有响应，请稍后再试。",

    .searchLabel = "搜索地址、标题、标签或短码",
    .search = "搜索",
    .stateLabel = "状态",
    .stateAny = "全部",
    .stateActive = "启用",
    .stateDisabled = "已停用",
    .tagLabel = "标签",
    .createdFromLabel = "创建日期不早于",
    .colShort = "短网址",
    .colLeadsTo = "指向",
    .colTitle = "标题",
    .colClicks = "点击",
    .colCreated = "创建时间",
    .colState = "状态",
    .copy = "复制",
    .active = "启用",
    .disabled = "已停用",
    .noLinks = "没有链接。",
    .nextPage = "下一页",

    .linkTitle = "Snipora：链接",
    .disable = "停用",
    .enable = "启用",
    .publicNoteLabel = "向访问者显示的说明",

    .colName = "姓名",
    .colEmail = "电子邮件",
    .colRole = "角色",
    .colLastSeen = "最近登录",
    .colActions = "操作",
    .admin = "管理员",
    .creator = "创建者",
    .locked = "已锁定",
    .makeAdmin = "设为管理员",
    .makeCreator = "设为创建者",
    .lockOut = "锁定",
    .letIn = "解除锁定",

    .refusedTitle = "已拒绝",
    .crossSite = "此更改并非来自本服务自己的页面，或页面已过期。没有做任何更改。",
    .adminsOnly = "只有管理员可以查看此页面。",
    .notYours = "您的链接中没有这个链接。",
};

}  // namespace

const ConsoleTexts& ConsoleTextsFor(Language language) { return language == Language::kEn ? kEnglish : kChinese; }

}  // namespace snipora::service
