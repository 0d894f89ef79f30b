// The page's script: follows the generator through GET /state and sends
// what the user enters as the window would, through POST /settings. Every
// check and message is the server's (the window's rules); this only shows
// them.
'use strict';
(() => {
  const boxes = ['Foutput', 'ext_sync_freq'];
  const lists = ['Vout', 'ext_trig_dir', 'polarity'];
  const controls = [...boxes, ...lists, 'Factory'];
  const details = ['lblManuf', 'lblProduct', 'lblSerialNumber', 'lblVersion'];
  const byId = (id) => document.getElementById(id);
  // A box the user is typing in is not overwritten until sent or left.
  const typing = new Set();
  let last = null;

  const fading = {};
  function say(control, text, sent) {
    const place = byId(control + '-message');
    place.textContent = text;
    place.classList.toggle('sent', !!sent);
    clearTimeout(fading[control]);
    if (sent) {
      fading[control] = setTimeout(() => say(control, ''), 1500);
    }
  }

  function show(state) {
    last = state;
    const status = !state.present ? state.absence
      : state.readOnly || state.lockedBy || '';
    byId('status').textContent = status;
    byId('sign-in').hidden = !state.signIn;
    const disabled = !state.present || state.readOnly !== '';
    for (const id of details) {
      byId(id).textContent = state.present ? state.identity[id] : '';
    }
    for (const id of controls) {
      byId(id).disabled = disabled || (id === 'ext_sync_freq' && !state.syncEntry);
    }
    for (const id of boxes) {
      const value = state.present ? state.controls[id] : '';
      if (!typing.has(id) && byId(id).value !== value) {
        byId(id).value = value;
        say(id, '');  // a message about what the box held no longer applies
      }
    }
    for (const id of lists) {
      byId(id).value = state.present ? String(state.controls[id]) : '';
    }
  }

  async function follow() {
    try {
      const answer = await fetch('/state', { cache: 'no-store' });
      if (answer.ok) {
        show(await answer.json());
      } else {
        byId('status').textContent = 'The server answers ' + answer.status;
      }
    } catch (failure) {
      byId('status').textContent = 'The server does not answer';
    }
    setTimeout(follow, 250);
  }

  async function change(control, request) {
    say(control, '');
    let reply;
    try {
      const answer = await fetch('/settings', {
        method: 'POST',
        headers: { 'Content-Type': 'application/json' },
        body: JSON.stringify(Object.assign({ control }, request)),
      });
      reply = await answer.json();
    } catch (failure) {
      reply = { sent: false, message: 'The server does not answer' };
    }
    if (reply.text !== undefined && boxes.includes(control)) {
      byId(control).value = reply.text;
    }
    if (reply.sent) {
      typing.delete(control);
      say(control, 'Sent', true);
    } else {
      say(control, reply.title ? reply.title + ': ' + reply.message : reply.message);
      if (boxes.includes(control)) {
        byId(control).focus();
      } else if (last) {
        show(last);  // the list shows again what the generator holds
      }
    }
  }

  for (const id of boxes) {
    const box = byId(id);
    box.addEventListener('input', () => typing.add(id));
    box.addEventListener('blur', () => typing.delete(id));
    box.addEventListener('keydown', (event) => {
      if (event.key === 'Enter') {
        event.preventDefault();
        typing.add(id);
        change(id, { text: box.value });
      }
    });
  }
  for (const id of lists) {
    byId(id).addEventListener('change', () => change(id, { index: Number(byId(id).value) }));
  }
  byId('Factory').addEventListener('click', () => change('Factory', {}));
  follow();
})();
