// The platform's web pages. See platform_web_pages.h.
#include "sim/platform_web_pages.h"

#include <zlib.h>

#include "sim/platform_pictures.h"
#include "sim/platform_service.h"

namespace sim {

namespace {

// Query values: letters, digits and "-._~" stand for themselves.
std::string queryValue(const std::string& text) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

kit::test::TestResponse page(const std::string& title, const std::string& body) {
  auto response = kit::test::TestResponse::text("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" +
                                                PlatformWebPages::escapeHTML(title) + "</title></head><body>" + body +
                                                "</body></html>");
  response.contentType = "text/html; charset=utf-8";
  return response;
}

kit::test::TestResponse picture(const std::string& png) {
  kit::test::TestResponse response;
  response.contentType = "image/png";
  response.body = png;
  return response;
}

void appendChunk(std::string& png, const char* type, const std::string& data) {
  const uint32_t length = static_cast<uint32_t>(data.size());
  for (int shift = 24; shift >= 0; shift -= 8) png += static_cast<char>((length >> shift) & 0xFF);
  std::string typed = std::string(type, 4) + data;
  png += typed;
  const uint32_t crc = static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size())));
  for (int shift = 24; shift >= 0; shift -= 8) png += static_cast<char>((crc >> shift) & 0xFF);
}

}  // namespace

std::string PlatformWebPages::escapeHTML(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string PlatformWebPages::solidPNG(unsigned char r, unsigned char g, unsigned char b) {
  constexpr int kSide = 16;
  std::string raw;
  for (int y = 0; y < kSide; ++y) {
    raw += '\0';  // no filter
    for (int x = 0; x < kSide; ++x) raw += {static_cast<char>(r), static_cast<char>(g), static_cast<char>(b)};
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string deflated(size, '\0');
  compress(reinterpret_cast<Bytef*>(deflated.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
           static_cast<uLong>(raw.size()));
  deflated.resize(size);
  std::string header;
  for (int value : {kSide, kSide}) {
    for (int shift = 24; shift >= 0; shift -= 8) header += static_cast<char>((value >> shift) & 0xFF);
  }
  header += {8, 2, 0, 0, 0};  // 8 bits, RGB, deflate, no filter, no interlace
  std::string png = "\x89PNG\r\n\x1a\n";
  appendChunk(png, "IHDR", header);
  appendChunk(png, "IDAT", deflated);
  appendChunk(png, "IEND", "");
  return png;
}

std::string PlatformWebPages::cashierURL(const std::string& host, const std::string& orderNumber,
                                         const std::string& payType) {
  return host + kCashierPath + "?order=" + queryValue(orderNumber) + "&type=" + queryValue(payType);
}

std::string PlatformWebPages::officialURL(const std::string& host, const std::string& orderNumber) {
  return host + kOfficialPath + "?order=" + queryValue(orderNumber);
}

void PlatformWebPages::install(PlatformService& service, PlatformAPIServer& server) {
  server.routePage(std::string("/") + kLogoPath, [](const kit::test::RecordedRequest&) {
    return picture(PlatformPictures::logoPNG());
  });
  server.routePage(std::string("/") + kUserPath, [](const kit::test::RecordedRequest& request) {
    return page("用户中心", "<h1>用户中心</h1><p id=\"user\">" + escapeHTML(request.formValue("username").value_or("")) +
                                "</p>");
  });
  server.routePage(std::string("/") + kForgetPasswordPath, [](const kit::test::RecordedRequest&) {
    return page("忘记密码", "<h1>忘记密码</h1><p>请联系客服找回密码。</p>");
  });
  server.routePage(std::string(PlatformAPIServer::kPathPrefix) + kAgreementPath, [](const kit::test::RecordedRequest&) {
    return page("用户协议", "<h1>用户协议</h1><p>欢迎使用本平台的游戏服务。登录即表示您同意本协议。</p>");
  });
  server.routePage(std::string("/") + kBoxPath, [](const kit::test::RecordedRequest& request) {
    return page("游戏盒子", "<h1>游戏盒子</h1><p id=\"agent\">" + escapeHTML(request.formValue("ag").value_or("")) +
                                "</p>");
  });
  server.routePage(std::string("/") + kCashierPath, [&service](const kit::test::RecordedRequest& request) {
    const std::string number = request.formValue("order").value_or("");
    auto order = service.order(number);
    if (!order) return page("收银台", "<p id=\"error\">订单不存在</p>");
    const std::string pay = std::string("/") + kPayPath + "?order=" + queryValue(number);
    return page("收银台", "<h1>收银台</h1><p id=\"order\">" + escapeHTML(number) + "</p><p id=\"amount\">" +
                              escapeHTML(order->realMoney) + "元</p><p id=\"type\">" +
                              escapeHTML(request.formValue("type").value_or("")) + "</p><a id=\"pay\" href=\"" +
                              escapeHTML(pay) + "\">确认支付</a>");
  });
  server.routePage(std::string("/") + kOfficialPath, [&service](const kit::test::RecordedRequest& request) {
    const std::string host = request.header("Host").value_or("");
    const std::string expected = host.substr(0, host.rfind(':')) + "://";
    if (request.header("Referer").value_or("") != expected) return page(kRefusedText, "<p id=\"error\">" + std::string(kRefusedText) + "</p>");
    const std::string number = request.formValue("order").value_or("");
    auto order = service.order(number);
    if (!order) return page("微信支付", "<p id=\"error\">订单不存在</p>");
    const std::string pay = std::string("/") + kPayPath + "?order=" + queryValue(number);
    return page("微信支付", "<h1>微信支付</h1><p id=\"order\">" + escapeHTML(number) + "</p><p id=\"amount\">" +
                                escapeHTML(order->realMoney) + "元</p><a id=\"pay\" href=\"" + escapeHTML(pay) +
                                "\">确认支付</a>");
  });
  server.routePage(std::string("/") + kPayPath, [&service](const kit::test::RecordedRequest& request) {
    const std::string number = request.formValue("order").value_or("");
    if (!service.markPaid(number)) return page("支付结果", "<p id=\"error\">订单不存在</p>");
    return page("支付结果", "<p id=\"result\">支付成功</p>");
  });
}

}  // namespace sim
