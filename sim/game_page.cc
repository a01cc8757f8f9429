// The simulator's H5 game page. See game_page.h.

#include "sim/game_page.h"

#include <cctype>

namespace sim {

namespace {

const char* const kPageStart = R"HTML(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1, user-scalable=no">
<title>星河远征</title>
<style>
  * { box-sizing: border-box; }
  html, body { margin: 0; height: 100%; background: #0b1a30; color: #f4e9c8;
               font-family: "WenQuanYi Micro Hei", sans-serif; -webkit-user-select: none; }
  #scene { display: block; width: 100%; height: 260px; }
  .title { position: absolute; top: 18px; width: 100%; text-align: center; font-size: 30px;
           letter-spacing: 6px; text-shadow: 0 2px 8px #000; }
  .server { position: absolute; top: 62px; width: 100%; text-align: center; font-size: 14px; color: #9fb6d8; }
  .status { margin: 10px 16px 0; padding: 8px 12px; border-radius: 8px; background: #13294a; font-size: 13px;
            display: flex; justify-content: space-between; }
  .buttons { display: grid; grid-template-columns: 1fr 1fr; gap: 10px; margin: 12px 16px; }
  button { height: 44px; border: none; border-radius: 22px; font-size: 16px; color: #0b1a30;
           background: #e0a42b; font-family: inherit; }
  button.start { grid-column: 1 / 3; height: 50px; font-size: 20px; background: #f2c14e; }
  button.quiet { background: #4f6f9a; color: #f4e9c8; }
  button:active { transform: scale(0.97); }
  .log { margin: 0 16px; height: 150px; overflow-y: auto; padding: 6px 10px; border-radius: 8px;
         background: #081426; font-size: 11px; line-height: 16px; color: #b9c7dd; }
  .log .action { color: #f2c14e; }
  /* A phone held sideways: a lower scene and the buttons in three columns,
     so that every button stays on screen. */
  @media (orientation: landscape) {
    #scene { height: 120px; }
    .buttons { grid-template-columns: 1fr 1fr 1fr; }
    button.start { grid-column: 1 / 4; }
  }
</style>
</head>
<body data-game=")HTML";

const char* const kPageEnd = R"HTML(">
<canvas id="scene"></canvas>
<div class="title">星河远征</div>
<div class="server">3区 · 青龙</div>
<div class="status"><span id="player">未登录</span><span id="role">角色未上报</span></div>
<div class="buttons">
  <button id="start" class="start">开始游戏</button>
  <button id="login">登录</button>
  <button id="role-report">上报角色</button>
  <button id="pay">充值 6 元</button>
  <button id="store">商城</button>
  <button id="hall" class="quiet">资源大厅</button>
  <button id="logout" class="quiet">退出登录</button>
</div>
<div class="log" id="log"><div>等待客户端消息…</div></div>
<script>
  // The page's state, for the game and for whoever reads it by script.
  var gamePage = { started: false, user: null, roleReported: false, orders: 0, sent: [], answers: [] };
  // The answers so far survive the page's reloads (the client reloads it
  // after a logout) for as long as the view lives.
  try { gamePage.answers = JSON.parse(sessionStorage.getItem("answers") || "[]"); } catch (e) {}
  var role = { role_id: "10086", role_name: "凌霄", role_level: "12", service_id: "3",
               service_name: "青龙", power_value: "3500" };

  function send(action, data) {
    var text = JSON.stringify({ action: action, data: data });
    gamePage.sent.push(text);
    window.webkit.messageHandlers.eventComplete.postMessage(text);
  }

  function copy(o, extra) {
    var out = {};
    for (var k in o) out[k] = o[k];
    for (var k2 in extra) out[k2] = extra[k2];
    return out;
  }

  document.getElementById("start").addEventListener("click", function () {
    gamePage.started = true;
    draw();
    if (!gamePage.user) send("login", {});
  });
  document.getElementById("login").addEventListener("click", function () { send("login", {}); });
  document.getElementById("role-report").addEventListener("click", function () { send("uploadGameRoleInfo", role); });
  document.getElementById("pay").addEventListener("click", function () {
    gamePage.orders += 1;
    var sn = "G-" + ("000" + gamePage.orders).slice(-4);
    send("pay", copy(role, { money: "6.00", good_name: "月 卡", good_id: "60", game_order_sn: sn, remark: "首充" }));
  });
  document.getElementById("store").addEventListener("click", function () { send("openStore", {}); });
  document.getElementById("hall").addEventListener("click", function () { send("openResourseStore", {}); });
  document.getElementById("logout").addEventListener("click", function () { send("logout", {}); });

  // Every answer of the client, shown as it comes.
  function CallbackFromIOS(text) {
    var message;
    try { message = JSON.parse(text); } catch (e) { message = { action: "(unreadable)", data: text }; }
    gamePage.answers.push(message);
    try { sessionStorage.setItem("answers", JSON.stringify(gamePage.answers.slice(-100))); } catch (e) {}
    var data = message.data || {};
    if (message.action === "loginNotify") gamePage.user = data.super_user_id;
    if (message.action === "clientlogout") { gamePage.user = null; gamePage.roleReported = false; }
    if (message.action === "uploadGameRoleInfo") gamePage.roleReported = true;
    document.getElementById("player").textContent = gamePage.user ? "玩家 " + gamePage.user : "未登录";
    document.getElementById("role").textContent = gamePage.roleReported ? role.role_name + " Lv." + role.role_level
                                                                        : "角色未上报";
    showLog();
    draw();
  }

  function showLog() {
    var log = document.getElementById("log");
    if (!gamePage.answers.length) return;
    log.textContent = "";
    gamePage.answers.forEach(function (message) {
      var line = document.createElement("div");
      var action = document.createElement("span");
      action.className = "action";
      action.textContent = message.action;
      line.appendChild(action);
      line.appendChild(document.createTextNode(" " + (message.data === undefined ? "" : JSON.stringify(message.data))));
      log.appendChild(line);
    });
    log.scrollTop = log.scrollHeight;
  }

  // The scene: a starfield over a planet, the fleet at rest or under way.
  function draw() {
    var canvas = document.getElementById("scene");
    var ratio = window.devicePixelRatio || 1;
    var w = canvas.clientWidth, h = canvas.clientHeight;
    canvas.width = w * ratio;
    canvas.height = h * ratio;
    var g = canvas.getContext("2d");
    g.scale(ratio, ratio);
    var sky = g.createLinearGradient(0, 0, 0, h);
    sky.addColorStop(0, "#050b18");
    sky.addColorStop(1, "#1c3a66");
    g.fillStyle = sky;
    g.fillRect(0, 0, w, h);
    var seed = 7;
    function next() { seed = (seed * 16807) % 2147483647; return seed / 2147483647; }
    for (var i = 0; i < 90; i++) {
      g.fillStyle = "rgba(255,255,255," + (0.3 + next() * 0.7) + ")";
      g.fillRect(next() * w, next() * h, 1 + next() * 1.5, 1 + next() * 1.5);
    }
    var planet = g.createRadialGradient(w * 0.78, h * 0.95, 10, w * 0.78, h * 0.95, 140);
    planet.addColorStop(0, "#f2c14e");
    planet.addColorStop(0.6, "#b4532a");
    planet.addColorStop(1, "rgba(180,83,42,0)");
    g.fillStyle = planet;
    g.beginPath();
    g.arc(w * 0.78, h * 0.95, 140, 0, Math.PI * 2);
    g.fill();
    var x = gamePage.started ? w * 0.62 : w * 0.28, y = gamePage.started ? h * 0.45 : h * 0.7;
    for (var s = 0; s < 3; s++) ship(g, x - s * 34, y + s * 22, gamePage.started);
    if (gamePage.user) {
      g.fillStyle = "#f2c14e";
      g.font = "12px sans-serif";
      g.fillText("舰长 " + gamePage.user, 12, h - 12);
    }
  }

  function ship(g, x, y, moving) {
    if (moving) {
      g.fillStyle = "rgba(120,200,255,0.6)";
      g.fillRect(x - 34, y - 3, 26, 6);
    }
    g.fillStyle = "#dfe8f5";
    g.beginPath();
    g.moveTo(x + 18, y);
    g.lineTo(x - 10, y - 10);
    g.lineTo(x - 4, y);
    g.lineTo(x - 10, y + 10);
    g.closePath();
    g.fill();
  }

  showLog();
  draw();
  window.addEventListener("resize", draw);
</script>
</body>
</html>
)HTML";

}  // namespace

std::string gamePageHTML(const std::string& gameId) {
  std::string id;
  for (char c : gameId)
    if (std::isalnum(static_cast<unsigned char>(c))) id += c;
  return kPageStart + id + kPageEnd;
}

}  // namespace sim
