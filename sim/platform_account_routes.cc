// The platform service's account endpoints: login, registration by name
// and phone, SMS codes, real-name verification, the notice, logout, role
// and play-time reports, sub-accounts and the speed-up switch. See
// platform_service.h for what they check and answer.
#include <cstdio>
#include <ctime>

#include "kit/foundation/number.h"
#include "kit/foundation/values.h"
#include "sim/platform_routes.h"

namespace sim {

namespace {

using R = PlatformRoutes;

kit::Expected<void> require(const PlatformCall& call, std::initializer_list<const char*> keys) {
  const std::string key = call.missing(keys);
  if (!key.empty()) return refuse("缺少参数" + key);
  return {};
}

bool isPhone(const std::string& text) {
  if (text.size() != 11 || text[0] != '1') return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// A user name of 4 to 20 letters, digits and underscores, starting with a
// letter; a password of 6 to 20 characters without blanks.
bool isUserName(const std::string& text) {
  if (text.size() < 4 || text.size() > 20) return false;
  if (!((text[0] >= 'a' && text[0] <= 'z') || (text[0] >= 'A' && text[0] <= 'Z'))) return false;
  for (char c : text) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
  }
  return true;
}

bool isPassword(const std::string& text) {
  if (text.size() < 6 || text.size() > 20) return false;
  for (char c : text) {
    if (c == ' ' || static_cast<unsigned char>(c) < 0x20) return false;
  }
  return true;
}

// An 18-character resident identity number with a valid check character;
// the birth date (YYYYMMDD) in *birth.
bool isIdentityNumber(const std::string& text, std::string* birth) {
  if (text.size() != 18) return false;
  static const int weights[17] = {7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2};
  static const char checks[] = "10X98765432";
  int sum = 0;
  for (int i = 0; i < 17; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    sum += (text[i] - '0') * weights[i];
  }
  const char last = text[17] == 'x' ? 'X' : text[17];
  if (last != checks[sum % 11]) return false;
  *birth = text.substr(6, 8);
  return true;
}

// Whether someone born on `birth` (YYYYMMDD) is under 18 at `now` (seconds
// since 1970).
bool isMinor(const std::string& birth, double now) {
  const std::time_t seconds = static_cast<std::time_t>(now);
  std::tm today{};
  gmtime_r(&seconds, &today);
  char adultBirthday[40];  // room for any int the format could print
  std::snprintf(adultBirthday, sizeof adultBirthday, "%04d%02d%02d", today.tm_year + 1900 - 18, today.tm_mon + 1,
                today.tm_mday);
  return birth > std::string(adultBirthday);
}

// The real-name keys of a login or verification reply.
void addRealName(kit::MutableDictionary& reply, const PlatformAccount& account) {
  const bool minor = account.realNameStatus == "2";
  std::string deadline = "0";
  if (minor) {
    deadline = account.playDeadline.empty() ? std::to_string((std::stoll(R::nowText()) + 3600) * 1000)
                                            : account.playDeadline;
  }
  reply.setObject(kit::str(account.realNameCompulsory ? "1" : "0"), std::string_view("frz"));
  reply.setObject(kit::str(account.realNameStatus), std::string_view("nrz"));
  reply.setObject(kit::str(deadline), std::string_view("lmit"));
}

// ---- Login and registration ------------------------------------------------------

PlatformAnswer login(PlatformService& service, const PlatformCall& call) {
  if (auto ok = require(call, {"z", "b", "c", "d", "e", "f", "x"}); !ok) return kit::unexpected(ok.error());
  if (auto ok = R::checkGame(service, call, "x", "d", "f"); !ok) return kit::unexpected(ok.error());
  if (call.text("c") != "3") return refuse("设备类型错误");
  if (!R::isAdvertisingIdentifier(call.text("e"))) return refuse("设备标识错误");
  const std::string name = call.text("z");
  const std::string loginTime = R::nowText();
  const std::string sign = service.loginSign(name, loginTime);

  std::lock_guard lock(R::lock(service));
  auto& accounts = R::accounts(service);
  auto it = accounts.find(name);
  if (it == accounts.end() || it->second.password != call.text("b")) return refuse(PlatformService::kWrongPassword);
  PlatformAccount& account = it->second;
  account.sid = R::nextSid(service);
  const bool verified = account.realNameStatus != "0";
  auto reply = kit::mutableDict({{"z", "1"},
                                 {"b", account.userName},
                                 {"c", account.password},
                                 {"d", sign},
                                 {"e", loginTime},
                                 {"x", PlatformService::kLoginOK},
                                 {"sid", account.sid},
                                 {"rz", account.askRealName && !verified ? "1" : "0"},
                                 {"ic", account.cancelled},
                                 {"isck", verified ? "1" : "0"}});
  addRealName(*reply, account);
  return kit::Id(reply);
}

kit::Expected<void> checkNewAccount(PlatformService& service, const PlatformCall& call) {
  if (auto ok = R::checkGame(service, call, "x", "d", "f"); !ok) return ok;
  if (call.text("c") != "3") return refuse("设备类型错误");
  if (!R::isAdvertisingIdentifier(call.text("e"))) return refuse("设备标识错误");
  if (!isPassword(call.text("b"))) return refuse("密码格式错误");
  return {};
}

kit::Id registered(const PlatformAccount& account) {
  return kit::dict({{"z", "1"}, {"b", account.userName}, {"c", account.password}, {"d", "注册成功"}});
}

PlatformAnswer registerName(PlatformService& service, const PlatformCall& call) {
  if (auto ok = require(call, {"z", "b", "c", "d", "e", "f", "x", "h"}); !ok) return kit::unexpected(ok.error());
  if (auto ok = checkNewAccount(service, call); !ok) return kit::unexpected(ok.error());
  const std::string name = call.text("z");
  if (!isUserName(name)) return refuse("用户名格式错误");
  std::lock_guard lock(R::lock(service));
  auto& accounts = R::accounts(service);
  if (accounts.count(name)) return refuse("用户名已存在");
  PlatformAccount account;
  account.userName = name;
  account.password = call.text("b");
  accounts[name] = account;
  return registered(account);
}

PlatformAnswer authCode(PlatformService& service, const PlatformCall& call) {
  if (auto ok = require(call, {"z", "b", "c"}); !ok) return kit::unexpected(ok.error());
  if (auto ok = R::checkGame(service, call, "z", nullptr, nullptr); !ok) return kit::unexpected(ok.error());
  // The code's type is a number: 4 for a registration.
  auto type = kit::as<kit::Number>(call.value("c"));
  if (!type || type->doubleValue() != 4) return refuse("验证码类型错误");
  const std::string phone = call.text("b");
  if (!isPhone(phone)) return refuse("手机号格式错误");
  std::lock_guard lock(R::lock(service));
  if (R::accounts(service).count(phone)) return refuse("手机号已注册");
  R::smsCodes(service)[phone] = R::nextCode(service);
  return kit::Id(kit::dict({{"z", "1"}, {"d", "验证码已发送"}}));
}

PlatformAnswer registerPhone(PlatformService& service, const PlatformCall& call) {
  if (auto ok = require(call, {"z", "i", "b", "c", "d", "e", "f", "x", "h"}); !ok) return kit::unexpected(ok.error());
  if (auto ok = checkNewAccount(service, call); !ok) return kit::unexpected(ok.error());
  const std::string phone = call.text("z");
  if (!isPhone(phone)) return refuse("手机号格式错误");
  std::lock_guard lock(R::lock(service));
  auto& codes = R::smsCodes(service);
  auto code = codes.find(phone);
  if (code == codes.end() || code->second != call.text("i")) return refuse("验证码错误");
  auto& accounts = R::accounts(service);
  if (accounts.count(phone)) return refuse("手机号已注册");
  codes.erase(code);
  PlatformAccount account;
  account.userName = phone;
  account.password = call.text("b");
  accounts[phone] = account;
  return registered(account);
}

// ---- Real name, notice, reports ---------------------------------------------------

PlatformAnswer realName(PlatformService& service, const PlatformCall& call) {
  if (auto ok = require(call, {"r", "i", "id"}); !ok) return kit::unexpected(ok.error());
  const std::string name = call.text("r");
  if (name.empty() || name.size() > 60) return refuse("姓名格式错误");
  std::string birth;
  if (!isIdentityNumber(call.text("id"), &birth)) return refuse("身份证号码错误");
  const bool minor = isMinor(birth, std::stod(R::nowText()));
  std::lock_guard lock(R::lock(service));
  auto& accounts = R::accounts(service);
  auto it = accounts.find(call.text("i"));
  if (it == accounts.end()) return refuse("用户不存在");
  PlatformAccount& account = it->second;
  if (account.realNameStatus != "0") return refuse("已实名认证");
  account.realName = name;
  account.idNumber = call.text("id");
  account.realNameStatus = minor ? "2" : "1";
  account.realNameCompulsory = minor;
  auto reply = kit::mutableDict({{"z", "1"}, {"b", "认证成功"}});
  addRealName(*reply, account);
  return kit::Id(reply);
}

// The notice's status and id are numbers on the wire.
kit::Id numberOrText(const std::string& text) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (!text.empty() && end && *end == '\0') return kit::num(value);
  return kit::str(text);
}

PlatformAnswer noticeAnswer(PlatformService& service, const PlatformCall& call) {
  if (auto ok = require(call, {"z", "b", "c"}); !ok) return kit::unexpected(ok.error());
  if (auto ok = R::checkGame(service, call, nullptr, "c", "b"); !ok) return kit::unexpected(ok.error());
  std::lock_guard lock(R::lock(service));
  const auto& current = R::notice(service);
  if (!current) return refuse("暂无公告");
  auto data = kit::dict(
      {{"status", numberOrText(current->status)}, {"content", current->content}, {"id", kit::num(current->id)}});
  return kit::Id(kit::dict({{"code", "1"}, {"msg", ""}, {"data", data}}));
}

PlatformAnswer logout(PlatformService& service, const PlatformCall& call) {
  if (auto ok = require(call, {"z", "b", "c", "e", "f", "h", "d"}); !ok) return kit::unexpected(ok.error());
  if (auto ok = R::checkGame(service, call, "f", "c", "e"); !ok) return kit::unexpected(ok.error());
  if (!R::isAdvertisingIdentifier(call.text("d"))) return refuse("设备标识错误");
  std::lock_guard lock(R::lock(service));
  const std::string name = call.text("z");
  if (!R::accounts(service).count(name)) return refuse("用户不存在");
  ++R::logouts(service)[name];
  return kit::Id(kit::dict({{"z", "1"}, {"b", "退出成功"}}));
}

PlatformAnswer role(PlatformService& service, const PlatformCall& call) {
  if (auto ok = require(call, {"z", "b", "c", "d", "e", "f", "x", "h", "i", "xh"}); !ok) {
    return kit::unexpected(ok.error());
  }
  if (auto ok = R::checkGame(service, call, "i", "b", nullptr); !ok) return kit::unexpected(ok.error());
  for (const char* key : {"c", "d", "e", "f", "x"}) {
    if (call.text(key).empty()) return refuse("角色信息不完整");
  }
  std::lock_guard lock(R::lock(service));
  const std::string name = call.text("z");
  if (!R::accounts(service).count(name)) return refuse("用户不存在");
  R::roles(service)[name] = call.parameters();
  return kit::Id(kit::dict({{"code", 1}, {"msg", "上报成功"}}));
}

PlatformAnswer onlineTime(PlatformService& service, const PlatformCall& call) {
  if (auto ok = require(call, {"g"}); !ok) return kit::unexpected(ok.error());
  if (auto ok = R::checkGame(service, call, nullptr, "g", nullptr); !ok) return kit::unexpected(ok.error());
  std::lock_guard lock(R::lock(service));
  const std::string name = call.text("n");
  if (!name.empty()) ++R::onlineReports(service)[name];
  return kit::Id(kit::dict({{"z", "1"}}));
}

PlatformAnswer speedUpAnswer(PlatformService& service, const PlatformCall& call) {
  if (auto ok = require(call, {"g"}); !ok) return kit::unexpected(ok.error());
  if (auto ok = R::checkGame(service, call, nullptr, "g", nullptr); !ok) return kit::unexpected(ok.error());
  std::lock_guard lock(R::lock(service));
  return kit::Id(kit::dict({{"z", "1"}, {"b", R::speedUp(service) ? 1 : 0}}));
}

// ---- Sub-accounts -----------------------------------------------------------------

constexpr size_t kMostSubAccounts = 10;
constexpr size_t kLongestNickname = 8;  // UTF-16 units

// The list as the server sends it: each sign behind a one-character prefix.
kit::Ref<kit::Array> subAccountList(const std::vector<PlatformSubAccount>& subs,
                                    const std::vector<std::string>& signs) {
  auto list = kit::MutableArray::make();
  for (size_t i = 0; i < subs.size(); ++i) {
    list->addObject(kit::dict({{"nickname", subs[i].nickname},
                               {"username", subs[i].userName},
                               {"sign", "x" + signs[i]},
                               {"login_time", subs[i].loginTime}}));
  }
  return list;
}

// The list of `owner`'s sub-accounts with their signs, made outside the
// service's lock (signing reads the registration).
kit::Ref<kit::Array> signedList(PlatformService& service, const std::vector<PlatformSubAccount>& subs) {
  std::vector<std::string> signs;
  for (const auto& sub : subs) signs.push_back(service.loginSign(sub.userName, sub.loginTime));
  return subAccountList(subs, signs);
}

PlatformAnswer subAccounts(PlatformService& service, const PlatformCall& call) {
  if (auto ok = require(call, {"z", "c", "e", "f"}); !ok) return kit::unexpected(ok.error());
  if (auto ok = R::checkGame(service, call, "f", "c", "e"); !ok) return kit::unexpected(ok.error());
  auto account = service.account(call.text("z"));
  if (!account) return refuse("用户不存在");
  return kit::Id(kit::dict({{"code", "1"}, {"msg", ""}, {"data", signedList(service, account->subAccounts)}}));
}

PlatformAnswer addSubAccount(PlatformService& service, const PlatformCall& call) {
  if (auto ok = require(call, {"z", "c", "e", "f", "x"}); !ok) return kit::unexpected(ok.error());
  if (auto ok = R::checkGame(service, call, "f", "c", "e"); !ok) return kit::unexpected(ok.error());
  const std::string nickname = call.text("x");
  // No name, or one a row would not show (blanks alone, "<null>").
  if (kit::nameText(kit::str(nickname)).empty()) return refuse("请输入有效字符");
  if (kit::String(nickname).length() > kLongestNickname) return refuse("名称不能超过8个字符");
  const std::string loginTime = R::nowText();
  std::vector<PlatformSubAccount> subs;
  {
    std::lock_guard lock(R::lock(service));
    auto& accounts = R::accounts(service);
    auto it = accounts.find(call.text("z"));
    if (it == accounts.end()) return refuse("用户不存在");
    auto& owned = it->second.subAccounts;
    if (owned.size() >= kMostSubAccounts) return refuse("小号数量已达上限");
    owned.push_back({nickname, it->first + "_" + std::to_string(owned.size() + 1), loginTime});
    subs = owned;
  }
  return kit::Id(kit::dict({{"code", "1"}, {"msg", "添加成功"}, {"data", signedList(service, subs)}}));
}

kit::Ref<kit::Dictionary> refusalX(const std::string& why) { return letterRefusal("x", why); }
kit::Ref<kit::Dictionary> refusalD(const std::string& why) { return letterRefusal("d", why); }
kit::Ref<kit::Dictionary> refusalB(const std::string& why) { return letterRefusal("b", why); }

}  // namespace

void PlatformRoutes::installAccountRoutes(PlatformService& service) {
  serve(service, "login/dologin", PlatformClient::Scrambled, refusalX, login);
  serve(service, "login/register", PlatformClient::Scrambled, refusalD, registerName);
  serve(service, "login/yzm", PlatformClient::Scrambled, refusalD, authCode);
  serve(service, "login/phoneRegister", PlatformClient::Scrambled, refusalD, registerPhone);
  serve(service, "login/idcheck", PlatformClient::Scrambled, refusalB, realName);
  serve(service, "Sdkmsg/indexios", PlatformClient::Form, codeRefusal, noticeAnswer);
  serve(service, "login/logout", PlatformClient::Scrambled, refusalB, logout);
  serve(service, "User/setRole", PlatformClient::Scrambled, codeRefusal, role);
  serve(service, "login/setTime", PlatformClient::Scrambled, refusalB, onlineTime);
  serve(service, "pay/getjiasu", PlatformClient::Scrambled, refusalB, speedUpAnswer);
  serve(service, "login/iosxiaohao", PlatformClient::Connection, codeRefusal, subAccounts);
  serve(service, "login/iosaddxiaohao", PlatformClient::Connection, codeRefusal, addSubAccount);
}

}  // namespace sim
