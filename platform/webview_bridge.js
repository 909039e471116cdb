// Injected before the page's own scripts: gives the page the message channel it is written for,
// window.chrome.webview with postMessage(text) and "message" events whose data is a reply text. Requests
// leave through WebKit's script message handler "pellucan"; the native side hands each reply to
// window.chrome.webview.deliverReply(text).
(() => {
  'use strict';
  const handler = window.webkit.messageHandlers.pellucan;
  const target = new EventTarget();
  const webview = Object.freeze({
    postMessage(message) {
      handler.postMessage(String(message));
    },
    addEventListener: target.addEventListener.bind(target),
    removeEventListener: target.removeEventListener.bind(target),
    deliverReply(text) {
      target.dispatchEvent(new MessageEvent('message', { data: String(text) }));
    },
  });
  Object.defineProperty(window, 'chrome', { value: Object.freeze({ webview }), enumerable: true });
})();
