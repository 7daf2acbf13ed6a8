// The design-system block of the site stylesheet: the look of the rich element kinds. Fixed text,
// the same for every export.
#include "app/site/export_styles.h"

namespace qs::QSExportStyles {

std::string_view designSystemCSS() {
  static constexpr std::string_view kCSS = R"CSS(/* Design system */
:root {
  --brp-accent: var(--brand, #6D28D9);
  --brp-tint: var(--brand-light, #EDE9FE);
  --brp-deep: var(--accent-deep, #6D28D9);
  --brp-glass: var(--accent-glass, #6D28D9);
  --brp-text: #1a1a1a;
  --brp-text-sec: #6b6b6b;
  --brp-text-tri: #9a9a9a;
  --brp-bg2: #f8f8f7;
  --brp-border: #e8e6e3;
  --brp-hairline: rgba(17,17,17,0.10);
  --brp-ink: #17121a;
  --brp-mono: 'JetBrains Mono', ui-monospace, 'SF Mono', Menlo, monospace;
}
html { scroll-behavior: smooth; overflow-x: hidden; }
body { color: var(--brp-text); -webkit-font-smoothing: antialiased; -moz-osx-font-smoothing: grayscale; }
.brp-shell { max-width: 1120px; margin: 0 auto; padding: 0 40px; }

/* Navigation */
nav.brp-nav { position: sticky; top: 0; z-index: 100; background: rgba(255,255,255,0.9); backdrop-filter: blur(20px); -webkit-backdrop-filter: blur(20px); border-bottom: 1px solid var(--brp-hairline); }
.brp-nav-inner { max-width: 1120px; height: 64px; margin: 0 auto; padding: 0 40px; display: flex; align-items: center; justify-content: space-between; }
.brp-brand { display: flex; align-items: center; gap: 10px; }
.brp-wm { font-size: 17px; font-weight: 600; letter-spacing: 3px; color: var(--brp-text); }
.brp-wm .x { color: var(--brp-accent); }
.brp-nav-right { display: flex; align-items: center; gap: 16px; }
.brp-nav-links { display: flex; align-items: center; gap: 24px; list-style: none; }
.brp-nav-links a, .brp-subtrigger { font-size: 14px; color: var(--brp-text-sec); transition: color .15s; }
.brp-nav-links a:hover, .brp-subtrigger:hover { color: var(--brp-accent); }
.brp-nav-links a.brp-nav-cta { padding: 8px 18px; border-radius: 99px; background: var(--brp-accent); color: var(--brp-btn-ink, #fff); }
.brp-nav-muted { font-size: 12px; color: var(--brp-text-tri); }
li.brp-has-sub { position: relative; height: 64px; display: flex; align-items: center; }
li.brp-has-sub > a, li.brp-has-sub > .brp-subtrigger { height: 64px; display: inline-flex; align-items: center; gap: 5px; cursor: pointer; }
.brp-caret { font-size: 9px; transition: transform .18s; }
li.brp-has-sub:hover .brp-caret, li.brp-has-sub:focus-within .brp-caret { transform: rotate(180deg); }
.brp-subnav { position: absolute; top: 100%; left: 50%; transform: translate(-50%, 4px); list-style: none; background: #fff; border: 1px solid var(--brp-border); border-radius: 12px; padding: 8px; min-width: 190px; box-shadow: 0 14px 36px rgba(0,0,0,.12); opacity: 0; visibility: hidden; transition: opacity .18s, transform .18s, visibility .18s; z-index: 200; }
.brp-subnav::after { content: ""; position: absolute; left: 0; right: 0; top: -12px; height: 12px; }
li.brp-has-sub:hover > .brp-subnav, li.brp-has-sub:focus-within > .brp-subnav { opacity: 1; visibility: visible; transform: translate(-50%, 0); }
.brp-subnav a { display: block; padding: 8px 12px; border-radius: 8px; white-space: nowrap; }
.brp-subnav a:hover { background: var(--brp-bg2); }
li.brp-has-mega .brp-subnav.brp-mega { left: auto; right: 0; transform: translate(0, 4px); width: 520px; padding: 16px; display: flex; flex-direction: column; gap: 14px; }
li.brp-has-mega:hover > .brp-subnav.brp-mega, li.brp-has-mega:focus-within > .brp-subnav.brp-mega { transform: translate(0, 0); }
.brp-subnav.brp-mega::after { display: none; }
li.brp-has-mega:hover > .brp-subnav.brp-mega::before, li.brp-has-mega:focus-within > .brp-subnav.brp-mega::before { content: ""; position: absolute; left: 0; right: 0; top: -18px; height: 18px; }
.brp-mega-title { font-size: 10.5px; text-transform: uppercase; letter-spacing: 2px; color: var(--brp-text-tri); margin-bottom: 6px; }
.brp-mega-grid { display: grid; grid-template-columns: 1fr 1fr; gap: 2px; }
.brp-mega-item { display: flex; gap: 12px; padding: 10px 9px; border-radius: 10px; align-items: flex-start; }
.brp-mega-item:hover { background: var(--brp-bg2); }
.brp-mega-icon { width: 36px; height: 36px; border-radius: 22%; flex: none; display: flex; align-items: center; justify-content: center; background: var(--brp-tint); color: var(--brp-deep); }
.brp-mega-text { min-width: 0; display: flex; flex-direction: column; }
.brp-mega-text strong { font-size: 13.5px; color: var(--brp-text); }
.brp-mega-sub { font-size: 12px; color: var(--brp-text-sec); white-space: nowrap; overflow: hidden; text-overflow: ellipsis; }
.brp-nav-toggle { display: none; position: relative; width: 26px; height: 26px; background: none; border: 0; cursor: pointer; }
.brp-nav-toggle span { position: absolute; left: 3px; right: 3px; height: 2px; background: var(--brp-text); border-radius: 2px; transition: transform .2s, opacity .2s, top .2s; }
.brp-nav-toggle span:nth-child(1) { top: 8px; }
.brp-nav-toggle span:nth-child(2) { top: 13px; }
.brp-nav-toggle span:nth-child(3) { top: 18px; }
nav.brp-nav.open .brp-nav-toggle span:nth-child(1) { top: 13px; transform: rotate(45deg); }
nav.brp-nav.open .brp-nav-toggle span:nth-child(2) { opacity: 0; }
nav.brp-nav.open .brp-nav-toggle span:nth-child(3) { top: 13px; transform: rotate(-45deg); }

/* Hero */
.brp-hero { position: relative; padding: 96px 40px 0; text-align: center; overflow: hidden; }
.brp-hero-flat { padding-bottom: 84px; }
.brp-hero-mist { position: absolute; inset: 0; background: radial-gradient(900px 560px at 50% 0%, var(--brp-hero-glow, #F0F0F0), transparent 70%); opacity: .55; pointer-events: none; }
.brp-hero-inner { position: relative; max-width: 880px; margin: 0 auto; }
.brp-badge { display: inline-flex; align-items: center; gap: 8px; padding: 6px 14px; border-radius: 99px; font-size: 12.5px; color: var(--brp-deep); background: var(--brp-tint); margin-bottom: 24px; }
.brp-badge .dot { width: 7px; height: 7px; border-radius: 50%; background: #30B858; box-shadow: 0 0 0 3px rgba(48,184,88,.2); }
.brp-hero h1 { font-family: var(--font-heading, inherit); font-size: 56px; font-weight: 600; letter-spacing: -1.4px; line-height: 1.08; }
.brp-hero h1 .accent { color: var(--brp-accent); }
.brp-hero .sub { font-size: 19px; font-weight: 300; max-width: 600px; margin: 22px auto 0; color: var(--brp-text-sec); }
.brp-hero code, code.brp-code { font-family: var(--brp-mono); font-size: .9em; padding: 2px 6px; border-radius: 6px; background: var(--brp-tint); }
.brp-btn-row { display: flex; gap: 12px; justify-content: center; flex-wrap: wrap; margin-top: 34px; }
.brp-btn { display: inline-flex; align-items: center; gap: 8px; padding: 13px 26px; border-radius: 12px; font-size: 15px; font-weight: 500; transition: transform .15s, box-shadow .15s; }
.brp-btn-primary { background: var(--brp-accent); color: var(--brp-btn-ink, #fff); }
.brp-cta .brp-btn-primary { background: #fff; color: var(--brp-ink); }
.brp-btn-secondary { background: #fff; color: var(--brp-text); border: 1px solid var(--brp-border); }
.brp-hero .fineprint { font-size: 12.5px; color: var(--brp-text-tri); margin-top: 16px; }
.brp-hero-shot { max-width: 980px; margin: 56px auto 0; border-radius: 14px 14px 0 0; overflow: hidden; border: 1px solid var(--brp-border); border-bottom: 0; box-shadow: 0 30px 80px rgba(0,0,0,.12); }

/* Prose and section headers */
.brp-prose { font-size: 15px; line-height: 1.8; color: var(--brp-text); }
.brp-prose p { margin: 0 0 14px; }
.brp-prose a { color: var(--brp-accent); text-decoration: underline; }
.brp-prose ul, .brp-prose ol { margin: 0 0 14px 22px; }
.brp-prose strong { font-weight: 600; }
.brp-prose h2 { font-size: 22px; margin: 28px 0 10px; }
.brp-prose h3 { font-size: 17px; margin: 22px 0 8px; }
.brp-prose hr { border: 0; border-top: 1px solid var(--brp-border); margin: 24px 0; }
.brp-prose blockquote { border-left: 3px solid var(--brp-accent); padding: 4px 16px; color: var(--brp-text-sec); }
.brp-prose code { font-family: var(--brp-mono); font-size: .9em; background: var(--brp-tint); padding: 2px 5px; border-radius: 5px; }
.brp-sec-icon { width: 64px; height: 64px; border-radius: 22%; display: flex; align-items: center; justify-content: center; margin-bottom: 20px; background: var(--brp-tint); color: var(--brp-deep); }
.brp-center .brp-sec-icon { margin-left: auto; margin-right: auto; }
.brp-eyebrow { font-size: 11px; letter-spacing: 4px; text-transform: uppercase; color: var(--brp-accent); margin-bottom: 12px; }
.brp-sec-h { font-family: var(--font-heading, inherit); font-size: 38px; font-weight: 600; letter-spacing: -.8px; line-height: 1.15; }
.brp-sec-h .accent { color: var(--brp-accent); }
.brp-sec-sub { font-size: 16.5px; max-width: 640px; margin-top: 14px; color: var(--brp-text-sec); }
.brp-center { text-align: center; }
.brp-center .brp-sec-sub { margin-left: auto; margin-right: auto; }

/* Chips, feature rows, terminal */
.brp-chips { display: flex; flex-wrap: wrap; gap: 10px; justify-content: center; padding: 8px 32px; }
.brp-chip { font-family: var(--brp-mono); font-size: 12.5px; padding: 6px 14px; border-radius: 99px; border: 1px solid var(--brp-border); color: var(--brp-text-sec); }
.brp-chip b { color: var(--brp-deep); margin-right: 6px; }
.brp-feature { display: grid; grid-template-columns: 5fr 6fr; gap: 60px; align-items: center; max-width: 1120px; margin: 0 auto; padding: 64px 40px; }
.brp-feature.flip { grid-template-columns: 6fr 5fr; }
.brp-feature.flip .brp-feature-media { order: -1; }
.brp-feature-row + .brp-feature-row { border-top: 1px solid var(--brp-border); }
.brp-kicker { font-size: 11px; letter-spacing: 3px; text-transform: uppercase; color: var(--brp-accent); margin-bottom: 10px; }
.brp-feature h3 { font-family: var(--font-heading, inherit); font-size: 28px; font-weight: 600; line-height: 1.2; margin-bottom: 14px; }
.brp-feature-copy p { color: var(--brp-text-sec); }
.brp-feature-copy ul { list-style: none; margin-top: 18px; display: flex; flex-direction: column; gap: 10px; }
.brp-feature-copy li { position: relative; padding-left: 22px; }
.brp-feature-copy li::before { content: ""; position: absolute; left: 0; top: .6em; width: 9px; height: 9px; border-radius: 3px; background: var(--brp-accent); }
.brp-feature-media { position: relative; }
.brp-feature-media.glow::before { content: ""; position: absolute; inset: -40px; background: radial-gradient(closest-side, var(--brp-tint), transparent); z-index: -1; }
.brp-feature-media img { border-radius: 14px; border: 1px solid var(--brp-border); }
.brp-feature-ph { aspect-ratio: 16/10; border-radius: 14px; background: var(--brp-bg2); border: 1px dashed var(--brp-border); display: flex; align-items: center; justify-content: center; color: var(--brp-text-tri); }
.brp-term { background: var(--brp-ink); border-radius: 14px; font-family: var(--brp-mono); font-size: 13px; line-height: 1.9; color: #E9DFEC; padding: 18px 22px; overflow-x: auto; max-width: 760px; margin: 0 auto; }
.brp-term-bar { display: flex; gap: 7px; margin-bottom: 12px; }
.brp-term-bar span { width: 11px; height: 11px; border-radius: 50%; background: #FF5F57; }
.brp-term-bar span:nth-child(2) { background: #FEBC2E; }
.brp-term-bar span:nth-child(3) { background: #28C840; }
.brp-term .prompt { color: #E879F9; }
.brp-term .ok { color: #5CD68A; }
.brp-term .cmt { color: #8d7f93; }

/* Application window mock-up */
.brp-appwin { max-width: 940px; margin: 0 auto; border-radius: 12px; overflow: hidden; border: 1px solid var(--brp-border); background: #fff; box-shadow: 0 24px 60px rgba(0,0,0,.12); }
.brp-appwin-bar { height: 38px; display: flex; align-items: center; gap: 12px; padding: 0 14px; background: var(--brp-bg2); border-bottom: 1px solid var(--brp-border); position: relative; }
.aw-lights { display: flex; gap: 7px; }
.aw-lights span { width: 12px; height: 12px; border-radius: 50%; background: #FF5F57; }
.aw-lights span:nth-child(2) { background: #FEBC2E; }
.aw-lights span:nth-child(3) { background: #28C840; }
.aw-title { position: absolute; left: 50%; transform: translateX(-50%); font-size: 12.5px; color: var(--brp-text-sec); }
.aw-addr { flex: 1; max-width: 420px; margin: 0 auto; font-size: 12px; padding: 4px 12px; border-radius: 99px; background: color-mix(in srgb, var(--brp-text) 6%, transparent); color: var(--brp-text-sec); text-align: center; }
.brp-appwin-body { display: flex; min-height: 300px; }
.brp-appwin-side { width: 168px; flex: none; padding: 12px 8px; border-right: 1px solid var(--brp-border); background: var(--brp-bg2); }
.aw-srow { font-size: 12.5px; padding: 6px 10px; border-radius: 7px; color: var(--brp-text-sec); }
.aw-srow.on { background: color-mix(in srgb, var(--aw-accent) 12%, transparent); color: var(--aw-accent); }
.brp-appwin-main { flex: 1; min-width: 0; padding: 16px 20px; display: flex; flex-direction: column; gap: 12px; }
.aw-tabs { display: flex; gap: 6px; }
.aw-tab { font-size: 12px; padding: 4px 12px; border-radius: 7px; color: var(--brp-text-sec); }
.aw-tab.on { background: color-mix(in srgb, var(--aw-accent) 12%, transparent); color: var(--aw-accent); }
.aw-hero { display: flex; flex-direction: column; gap: 8px; padding: 14px 0; }
.aw-hero span { height: 12px; border-radius: 6px; background: color-mix(in srgb, var(--brp-text) 10%, transparent); width: 45%; }
.aw-hero span + span { width: 70%; background: color-mix(in srgb, var(--brp-text) 6%, transparent); }
.aw-row { display: flex; align-items: center; gap: 12px; padding: 10px 0; border-top: 1px solid var(--brp-border); }
.aw-ic { width: 28px; height: 28px; border-radius: 8px; background: color-mix(in srgb, var(--aw-accent) 14%, transparent); }
.aw-lines { flex: 1; display: flex; flex-direction: column; gap: 6px; }
.aw-l1 { height: 9px; width: 55%; border-radius: 5px; background: color-mix(in srgb, var(--brp-text) 10%, transparent); }
.aw-l2 { height: 8px; width: 35%; border-radius: 5px; background: color-mix(in srgb, var(--brp-text) 6%, transparent); }
.aw-status { width: 8px; height: 8px; border-radius: 50%; background: color-mix(in srgb, var(--aw-accent) 60%, transparent); }
.brp-appwin-shot { display: block; width: 100%; }

/* Steps, cards, call-to-action, questions */
.brp-steps { display: grid; gap: 40px; max-width: 1120px; margin: 0 auto; padding: 48px 40px; }
.brp-step .n { font-size: 44px; font-weight: 300; color: var(--brp-accent); opacity: .38; line-height: 1; margin-bottom: 14px; }
.brp-step h3 { font-size: 18px; font-weight: 600; margin-bottom: 8px; }
.brp-step p { color: var(--brp-text-sec); font-size: 14.5px; }
.brp-card { background: #fff; border: 1px solid var(--brp-border); border-radius: 16px; padding: 28px 26px; transition: transform .2s, box-shadow .2s; }
.brp-card:hover { transform: translateY(-2px); box-shadow: 0 12px 30px rgba(0,0,0,.06); }
.brp-card-icon { width: 46px; height: 46px; border-radius: 12px; display: flex; align-items: center; justify-content: center; background: var(--brp-tint); color: var(--brp-deep); margin-bottom: 18px; }
.brp-card h4 { font-size: 16px; font-weight: 600; margin-bottom: 6px; }
.brp-card p { font-size: 14px; color: var(--brp-text-sec); }
.brp-cta { position: relative; overflow: hidden; background: var(--brp-ink); color: #fff; border-radius: 24px; padding: 64px 40px; text-align: center; max-width: 1040px; margin: 48px auto; box-shadow: 0 30px 70px rgba(0,0,0,.18); }
.brp-cta::before { content: ""; position: absolute; inset: 0; background: radial-gradient(600px 300px at 20% 0%, var(--brp-accent), transparent 70%), radial-gradient(500px 300px at 90% 100%, var(--brp-accent), transparent 70%); opacity: .5; pointer-events: none; }
.brp-cta > * { position: relative; }
.brp-cta h2 { font-family: var(--font-heading, inherit); font-size: 34px; font-weight: 600; line-height: 1.2; margin-bottom: 12px; }
.brp-cta p { color: rgba(255,255,255,.72); max-width: 560px; margin: 0 auto; }
.brp-cta .fineprint { font-size: 12.5px; color: rgba(255,255,255,.5); margin-top: 16px; }
.brp-faq { max-width: 720px; margin: 24px auto 0; }
.brp-faq details { border-bottom: 1px solid var(--brp-border); padding: 18px 0; }
.brp-faq summary { list-style: none; cursor: pointer; font-weight: 500; display: flex; justify-content: space-between; gap: 16px; }
.brp-faq summary::-webkit-details-marker { display: none; }
.brp-faq summary::after { content: "+"; font-size: 20px; line-height: 1; color: var(--brp-text-tri); transition: transform .2s; }
.brp-faq details[open] summary::after { transform: rotate(45deg); }
.brp-faq .a { margin-top: 10px; color: var(--brp-text-sec); font-size: 14.5px; }

/* Footer */
footer.brp-footer { background: var(--brp-bg2); border-top: 1px solid var(--brp-border); margin-top: 48px; }
.brp-footer-inner { max-width: 1120px; margin: 0 auto; padding: 52px 40px; display: flex; gap: 40px; flex-wrap: wrap; justify-content: space-between; }
.brp-footer-brand { max-width: 280px; display: flex; flex-direction: column; gap: 10px; }
.brp-footer-credit-slot { display: flex; justify-content: center; margin-top: auto; padding-top: 18px; }
.brp-footer-brand:has(.brp-footer-credit-slot .brp-made-with) { margin-bottom: -52px; padding-bottom: 20px; }
.brp-footer-wm { font-size: 16px; font-weight: 600; letter-spacing: 2px; }
.brp-footer-tag { font-size: 13px; color: var(--brp-text-sec); }
.brp-footer-credit { font-size: 11px; color: #c4c2bf; }
.brp-footer-cols { display: flex; gap: 52px; flex-wrap: wrap; }
.brp-footer-col h4 { font-size: 11px; text-transform: uppercase; letter-spacing: 2px; color: var(--brp-text-tri); margin-bottom: 12px; font-weight: 600; }
.brp-footer-col a { display: block; font-size: 13.5px; color: var(--brp-text-sec); padding: 3px 0; }
.brp-footer-col a:hover { color: var(--brp-accent); }
.brp-footer-bottom { max-width: calc(1120px - 80px); margin: 0 auto; padding: 18px 0; border-top: 1px solid var(--brp-border); font-size: 12px; color: var(--brp-text-tri); display: flex; justify-content: space-between; gap: 16px; }
@media (max-width: 1200px) { .brp-footer-bottom { margin: 0 40px; } }
.brp-made-with { display: inline-flex; align-items: center; gap: 7px; font-size: 12px; padding: 5px 12px; border: 1px solid var(--brp-border); border-radius: 99px; color: var(--brp-text-sec); transition: border-color .15s, transform .15s; will-change: transform; }
.brp-made-with:hover { border-color: currentColor; transform: translateY(-1px); }
.brp-made-with .dim { opacity: .6; }

/* Documentation */
.brp-docs { display: grid; grid-template-columns: 240px 1fr; gap: 56px; max-width: 1120px; margin: 0 auto; padding: 32px 40px 96px; }
.brp-docs-side { position: sticky; top: 88px; align-self: start; max-height: calc(100vh - 120px); overflow-y: auto; }
.brp-docs-cat { font-size: 11px; text-transform: uppercase; letter-spacing: 2px; color: var(--brp-text-tri); margin: 18px 0 8px; }
.brp-docs-side a { display: block; font-size: 13.5px; padding: 4px 0; color: var(--brp-text-sec); }
.brp-docs-side a:hover { color: var(--brp-accent); }
.brp-article { scroll-margin-top: 84px; padding-bottom: 40px; margin-bottom: 40px; border-bottom: 1px solid var(--brp-border); }
.brp-article h2 { font-size: 26px; font-weight: 600; margin-bottom: 8px; }
.brp-article .summary { color: var(--brp-text-sec); margin-bottom: 18px; }
.brp-article p { color: #3d3d3d; max-width: 72ch; margin-bottom: 14px; }
.brp-article ul, .brp-article ol { max-width: 70ch; margin: 0 0 14px 22px; }
.brp-article code { font-family: var(--brp-mono); font-size: .9em; background: var(--brp-tint); padding: 2px 5px; border-radius: 5px; }
.brp-article pre { background: var(--brp-ink); color: #E9DFEC; padding: 16px 18px; border-radius: 12px; overflow-x: auto; margin-bottom: 14px; }
.brp-article pre code { background: none; padding: 0; }
.brp-article blockquote { background: var(--brp-tint); padding: 12px 16px; border-radius: 10px; margin-bottom: 14px; }

@media (max-width: 860px) {
  .brp-docs { grid-template-columns: 1fr; }
  .brp-docs-side { position: static; max-height: none; }
  .brp-feature, .brp-feature.flip { grid-template-columns: minmax(0, 1fr); gap: 28px; }
  .brp-feature .brp-feature-media, .brp-feature.flip .brp-feature-media { order: -1; }
  .brp-steps { grid-template-columns: repeat(2, 1fr) !important; }
  .brp-hero h1 { font-size: 38px; }
  .brp-footer-inner { gap: 28px; }
  .brp-footer-brand { max-width: 200px; }
  .brp-footer-cols { gap: 36px; }
}
@media (max-width: 720px) {
  .brp-nav-toggle { display: block; }
  .brp-nav-inner { height: auto; min-height: 64px; padding: 10px 20px; gap: 12px; }
  .brp-brand { min-width: 0; }
  .brp-wm { overflow-wrap: anywhere; }
  .brp-nav-links { display: none; position: absolute; top: 100%; left: 0; right: 0; flex-direction: column; align-items: stretch; gap: 0; padding: 12px 20px; background: rgba(255,255,255,.98); backdrop-filter: blur(20px); -webkit-backdrop-filter: blur(20px); max-height: calc(100vh - 100%); overflow-y: auto; border-bottom: 1px solid var(--brp-border); }
  nav.brp-nav.open .brp-nav-links { display: flex; }
  li.brp-has-sub { height: auto; flex-direction: column; align-items: stretch; }
  li.brp-has-sub > a, li.brp-has-sub > .brp-subtrigger { height: auto; padding: 10px 0; }
  .brp-subnav, li.brp-has-mega .brp-subnav.brp-mega { position: static; transform: none; opacity: 1; visibility: visible; box-shadow: none; border: 0; width: auto; min-width: 0; padding: 0 0 0 14px; }
  .brp-mega-grid { grid-template-columns: 1fr; }
  .brp-mega-sub { white-space: normal; }
  .brp-steps { grid-template-columns: 1fr !important; }
  .brp-footer-inner { flex-direction: column; }
  .brp-footer-cols { flex-direction: column; gap: 28px; }
  .brp-footer-bottom { flex-direction: column-reverse; }
  .brp-appwin-side { display: none; }
  .brp-appwin-main { min-width: 0; }
}
)CSS";
  return kCSS;
}

}  // namespace qs::QSExportStyles
