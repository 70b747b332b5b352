// The restore page's description, found and filled as docs/format.md
// tells: base64 of the manifest's bytes as the whole text of the element
// <script type="application/x-morsela-set" id="morsela-set">.
const open = '<script type="application/x-morsela-set" id="morsela-set">';
const closing = '</script>';

export function descriptionOf(html) {
  const from = html.indexOf(open);
  if (from < 0) return null;
  const start = from + open.length;
  const text = html.slice(start, html.indexOf(closing, start)).trim();
  return text && text !== 'MORSELA-SET' ? text : null;
}

export function fillPage(template, description) {
  const from = template.indexOf(open) + open.length;
  return template.slice(0, from) + description + template.slice(template.indexOf(closing, from));
}
