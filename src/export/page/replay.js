// The replay of one flight in a browser: its world's ground, its track coloured by flight mode,
// the aircraft flying the logged attitudes on a clock that loops, and the controls. The flight
// (FR.head, FR.rows), the frame (FR.frame) and the ground (FR.tiles) come from the scripts
// beside this one; nothing is fetched. Positions are metres east, north and up from the
// north-west corner of the frame's zoom-18 tile, as the player lays them.
(function () {
    'use strict';
    var head = FR.head, rows = FR.rows, frame = FR.frame;
    var count = rows.t.length, duration = rows.t[count - 1];
    var degrees = Math.PI / 180;

    var renderer = new THREE.WebGLRenderer({ antialias: true, preserveDrawingBuffer: true });
    renderer.setPixelRatio(window.devicePixelRatio || 1);
    document.getElementById('view').appendChild(renderer.domElement);
    var scene = new THREE.Scene();
    var haze = new THREE.Color(0xc9d9e6);
    scene.background = haze;
    scene.fog = new THREE.Fog(haze, 6000, 45000);
    var camera = new THREE.PerspectiveCamera(55, 1, 1, 60000);
    camera.up.set(0, 0, 1);
    var hemisphere = new THREE.HemisphereLight(0xffffff, 0x80806a, 0.75);
    hemisphere.position.set(0, 0, 1);
    scene.add(hemisphere);
    var sun = new THREE.DirectionalLight(0xffffff, 0.65);
    sun.position.set(0.4, -0.6, 1);
    scene.add(sun);

    // The sky: a dome around the eye, pale at the horizon and deep blue overhead.
    var sky = (function () {
        var geometry = new THREE.SphereBufferGeometry(50000, 32, 16);
        var position = geometry.attributes.position, colours = [];
        var horizon = new THREE.Color(0xd6e4ee), zenith = new THREE.Color(0x3f74b8), colour = new THREE.Color();
        for (var i = 0; i < position.count; ++i) {
            colour.copy(horizon).lerp(zenith, Math.pow(Math.max(0, position.getY(i) / 50000), 0.6));
            colours.push(colour.r, colour.g, colour.b);
        }
        geometry.setAttribute('color', new THREE.Float32BufferAttribute(colours, 3));
        var mesh = new THREE.Mesh(geometry, new THREE.MeshBasicMaterial({ vertexColors: THREE.VertexColors, side: THREE.BackSide, depthWrite: false, fog: false }));
        mesh.rotation.x = Math.PI / 2; // the sphere's poles on y; ours are on z
        mesh.renderOrder = -1;
        scene.add(mesh);
        return mesh;
    })();

    // The ground: each tile a grid over its cells' corners, its imagery draped unlit; finer
    // levels drawn in front of the coarser ones they lie on.
    var ground = new THREE.Group(), pending = [];
    // A renderer in software (a browser without a graphics card, or headless) pays for each
    // sample of anisotropic filtering on the processor: a frame there took twice as long.
    var gl = renderer.getContext(), info = gl.getExtension('WEBGL_debug_renderer_info');
    var software = /SwiftShader|llvmpipe|softpipe|Software/i.test(gl.getParameter(info ? info.UNMASKED_RENDERER_WEBGL : gl.RENDERER));
    var anisotropy = software ? 1 : renderer.capabilities.getMaxAnisotropy();
    scene.add(ground);
    FR.tiles.forEach(function (tile) {
        var cells = Math.pow(2, 18 - tile.l), side = cells + 1, bytes = atob(tile.h);
        var positions = new Float32Array(side * side * 3), uvs = new Float32Array(side * side * 2), index = [];
        for (var i = 0; i <= cells; ++i)
            for (var j = 0; j <= cells; ++j) {
                var k = i * side + j, height = (bytes.charCodeAt(2 * k) | bytes.charCodeAt(2 * k + 1) << 8) << 16 >> 16;
                positions[3 * k] = (tile.c * cells + j - frame.cj) * frame.metres;
                positions[3 * k + 1] = -(tile.r * cells + i - frame.ci) * frame.metres;
                positions[3 * k + 2] = height;
                uvs[2 * k] = j / cells;
                uvs[2 * k + 1] = 1 - i / cells;
                if (i < cells && j < cells)
                    index.push(k, k + side, k + side + 1, k, k + side + 1, k + 1);
            }
        var geometry = new THREE.BufferGeometry();
        geometry.setIndex(index);
        geometry.setAttribute('position', new THREE.BufferAttribute(positions, 3));
        geometry.setAttribute('uv', new THREE.BufferAttribute(uvs, 2));
        var material = new THREE.MeshBasicMaterial({ color: 0x9aa57a, polygonOffset: true, polygonOffsetFactor: -(tile.l - 13), polygonOffsetUnits: -4 * (tile.l - 13) });
        if (tile.i) {
            var image = new Image(), texture = new THREE.Texture(image);
            texture.anisotropy = anisotropy;
            material.color.set(0xffffff);
            material.map = texture;
            pending.push(new Promise(function (resolve) {
                image.onload = function () { texture.needsUpdate = true; resolve(); };
                image.onerror = function () { material.map = null; material.color.set(0x9aa57a); material.needsUpdate = true; resolve(); };
            }));
            image.src = 'data:image/jpeg;base64,' + tile.i;
        }
        ground.add(new THREE.Mesh(geometry, material));
    });
    FR.tiles = null;

    // The track, in the colour of the flight mode in force at each row.
    var track = (function () {
        var positions = new Float32Array(count * 3), colours = new Float32Array(count * 3);
        for (var i = 0; i < count; ++i) {
            var colour = head.modes[rows.mode[i]].colour;
            positions.set([rows.e[i], rows.n[i], rows.u[i]], 3 * i);
            colours.set([colour[0] / 255, colour[1] / 255, colour[2] / 255], 3 * i);
        }
        var geometry = new THREE.BufferGeometry();
        geometry.setAttribute('position', new THREE.BufferAttribute(positions, 3));
        geometry.setAttribute('color', new THREE.BufferAttribute(colours, 3));
        var line = new THREE.Line(geometry, new THREE.LineBasicMaterial({ vertexColors: THREE.VertexColors, fog: false }));
        scene.add(line);
        return line;
    })();

    // The aircraft: a small glider, nose along +y, right wing along +x, with a red tip on the
    // left wing and a green one on the right, as navigation lights are.
    var aircraft = (function () {
        var group = new THREE.Group();
        function part(width, length, height, x, y, z, colour) {
            var mesh = new THREE.Mesh(new THREE.BoxBufferGeometry(width, length, height), new THREE.MeshLambertMaterial({ color: colour }));
            mesh.position.set(x, y, z);
            group.add(mesh);
        }
        part(0.12, 0.95, 0.13, 0, 0, 0, 0xf4f1e8);       // fuselage
        part(0.09, 0.16, 0.08, 0, 0.24, 0.09, 0x33475c); // canopy
        part(1.4, 0.19, 0.025, 0, 0.08, 0.04, 0xf4f1e8); // wing
        part(0.12, 0.19, 0.03, -0.66, 0.08, 0.04, 0xd62a2a);
        part(0.12, 0.19, 0.03, 0.66, 0.08, 0.04, 0x1f9c3a);
        part(0.46, 0.13, 0.02, 0, -0.42, 0.03, 0xf4f1e8); // tailplane
        part(0.02, 0.16, 0.2, 0, -0.43, 0.13, 0xe0522d);  // fin
        group.rotation.order = 'ZXY'; // heading about up, then pitch about the wing, then bank about the nose
        scene.add(group);
        return group;
    })();

    // The clock: flight seconds from the first row, looping; the state at a second between rows.
    var clock = 0, playing = true, speed = 3;
    function rowAt(t) {
        var low = 0, high = count - 1;
        while (low < high) {
            var middle = (low + high + 1) >> 1;
            if (rows.t[middle] <= t) low = middle; else high = middle - 1;
        }
        return low;
    }
    function turn(from, to, f) {
        return from + (((to - from) % 360 + 540) % 360 - 180) * f;
    }
    function stateAt(t) {
        var i = rowAt(t), j = Math.min(i + 1, count - 1), span = rows.t[j] - rows.t[i];
        var f = span > 0 ? Math.min(1, Math.max(0, (t - rows.t[i]) / span)) : 0;
        function mix(column) { return column[i] + (column[j] - column[i]) * f; }
        return { row: i, position: new THREE.Vector3(mix(rows.e), mix(rows.n), mix(rows.u)), heading: turn(rows.hdg[i], rows.hdg[j], f),
                 pitch: mix(rows.pitch), roll: turn(rows.roll[i], rows.roll[j], f) };
    }

    // The cameras: a chase view behind the nose, an orbit the user turns about the aircraft, and
    // an overview of the whole flight.
    var controls = new THREE.OrbitControls(camera, renderer.domElement);
    controls.enabled = false;
    controls.maxDistance = 40000;
    var mode = 'chase', state = stateAt(0), chaseHeading = state.heading;
    // The overview stands still, south of the whole track and above it, and sees it all.
    var overview = (function () {
        var box = new THREE.Box3();
        for (var i = 0; i < count; ++i) box.expandByPoint(new THREE.Vector3(rows.e[i], rows.n[i], rows.u[i]));
        var centre = box.getCenter(new THREE.Vector3()), radius = Math.max(200, box.getSize(new THREE.Vector3()).length() / 2);
        var distance = radius / Math.tan(camera.fov / 2 * degrees);
        return { centre: centre, distance: distance, eye: centre.clone().add(new THREE.Vector3(0, -0.8 * distance, 0.6 * distance)) };
    })();
    function placeCamera(dt, snap) {
        if (mode === 'chase') {
            chaseHeading = snap ? state.heading : turn(chaseHeading, state.heading, 1 - Math.exp(-2 * dt));
            var h = chaseHeading * degrees, wanted = new THREE.Vector3(-9 * Math.sin(h), -9 * Math.cos(h), 2.5).add(state.position);
            camera.position.copy(snap ? wanted : camera.position.lerp(wanted, 1 - Math.exp(-4 * dt)));
            camera.lookAt(state.position);
        } else if (mode === 'overview') {
            camera.position.copy(overview.eye);
            camera.lookAt(overview.centre);
        } else {
            camera.position.add(state.position.clone().sub(controls.target));
            controls.target.copy(state.position);
            controls.update();
        }
        sky.position.copy(camera.position);
        // Far from the aircraft it is drawn larger, so that it can still be found.
        aircraft.scale.setScalar(Math.max(1, camera.position.distanceTo(state.position) / (mode === 'overview' ? 20 : 60)));
    }
    function setMode(next) {
        mode = next;
        controls.enabled = mode === 'orbit';
        // A flight of hundreds of kilometres seen whole needs the far plane and the haze further out.
        var far = mode === 'overview' ? Math.max(60000, 3 * overview.distance) : 60000;
        camera.near = far / 60000;
        camera.far = far;
        camera.updateProjectionMatrix();
        scene.fog.near = far / 10;
        scene.fog.far = far * 0.75;
        sky.scale.setScalar(far / 60000);
        if (mode === 'orbit') {
            controls.target.copy(state.position);
            camera.position.copy(state.position).add(new THREE.Vector3(-14, -20, 9));
        }
        document.getElementById('camera').value = mode;
        placeCamera(0, true);
    }

    // The figures, as the player's display has them.
    function fixed(value, decimals, sign) {
        if (value === null || value === undefined || !isFinite(value)) return '  -';
        return (sign && value >= 0 ? '+' : '') + value.toFixed(decimals);
    }
    function timeText(t) {
        var text = t.toFixed(1) + ' s';
        if (head.utc0 !== null) {
            var day = new Date(Math.round((head.utc0 + t) * 1000)).toISOString();
            text += '  ' + day.substr(0, 10) + ' ' + day.substr(11, 8) + ' UTC';
        }
        return text;
    }
    var figures = document.getElementById('figures'), eventBox = document.getElementById('event');
    function showFigures() {
        var i = state.row, modeName = head.modes[rows.mode[i]].name;
        figures.textContent = head.title + '\n' + timeText(clock) + '\n' +
            'altitude ' + fixed(rows.u[i], 1) + ' m   above ground ' + fixed(rows.agl[i], 1) + ' m\n' +
            'speed ' + fixed(rows.gs[i], 1) + ' m/s   climb ' + fixed(rows.vz[i], 1, true) + ' m/s\n' +
            'heading ' + fixed((state.heading % 360 + 360) % 360, 0) + '\u00b0' +
            (head.attitude ? '   pitch ' + fixed(state.pitch, 1, true) + '\u00b0   bank ' + fixed(state.roll, 1, true) + '\u00b0' : '') +
            (modeName ? '\nmode ' + modeName : '');
        var last = null;
        head.events.forEach(function (event) { if (event.t <= clock && clock - event.t < 10) last = event; });
        eventBox.textContent = last ? fixed(last.t, 1) + ' s  ' + last.kind + ': ' + last.text : '';
        document.getElementById('time').textContent = fixed(clock, 1) + ' / ' + fixed(duration, 1) + ' s';
        document.getElementById('clock').value = duration > 0 ? clock / duration : 0;
    }

    // The timeline: the modes' spans and a tick at each event under the clock's slider.
    function drawTimeline() {
        var canvas = document.getElementById('spans'), width = canvas.clientWidth, height = canvas.clientHeight;
        canvas.width = width;
        canvas.height = height;
        var context = canvas.getContext('2d');
        for (var i = 0; i < count; ++i) {
            var start = i;
            while (i + 1 < count && rows.mode[i + 1] === rows.mode[start]) ++i;
            var colour = head.modes[rows.mode[start]].colour;
            context.fillStyle = 'rgb(' + colour.join(',') + ')';
            var x0 = duration > 0 ? rows.t[start] / duration * width : 0, x1 = duration > 0 ? rows.t[Math.min(i + 1, count - 1)] / duration * width : width;
            context.fillRect(x0, height * 0.35, Math.max(1, x1 - x0), height * 0.3);
        }
        context.fillStyle = '#fff';
        head.events.forEach(function (event) {
            if (duration > 0 && event.t >= 0 && event.t <= duration) context.fillRect(event.t / duration * width, 0, 1.5, height);
        });
    }

    function resize() {
        renderer.setSize(window.innerWidth, window.innerHeight);
        camera.aspect = window.innerWidth / Math.max(1, window.innerHeight);
        camera.updateProjectionMatrix();
        drawTimeline();
    }

    function draw(dt, snap) {
        state = stateAt(clock);
        aircraft.position.copy(state.position);
        aircraft.rotation.set(state.pitch * degrees, state.roll * degrees, -state.heading * degrees);
        placeCamera(dt, snap);
        renderer.render(scene, camera);
        showFigures();
    }

    var attribution = ['Flight: ' + head.title].concat(head.attribution.length ? head.attribution : ['Ground: the world made for this flight']);
    document.getElementById('attribution').textContent = attribution.join('  \u00b7  ');

    var playButton = document.getElementById('play');
    function setPlaying(on) {
        playing = on;
        playButton.textContent = on ? 'Pause' : 'Play';
    }
    playButton.onclick = function () { setPlaying(!playing); };
    document.getElementById('speed').onchange = function (event) { speed = parseFloat(event.target.value); };
    document.getElementById('camera').onchange = function (event) { setMode(event.target.value); };
    document.getElementById('clock').oninput = function (event) { clock = parseFloat(event.target.value) * duration; draw(0, true); };
    window.addEventListener('keydown', function (event) {
        if (event.target.tagName === 'SELECT' || event.target.tagName === 'INPUT') return;
        if (event.key === ' ') { setPlaying(!playing); event.preventDefault(); }
        if (event.key === 'c') setMode({ chase: 'orbit', orbit: 'overview', overview: 'chase' }[mode]);
    });
    window.addEventListener('resize', resize);

    // What a test or an embedding page may ask of the replay.
    function onScreen(point) {
        var projected = point.clone().project(camera), canvas = renderer.domElement;
        if (projected.z < -1 || projected.z > 1 || Math.abs(projected.x) > 1 || Math.abs(projected.y) > 1) return null;
        return { x: (projected.x + 1) / 2 * canvas.clientWidth, y: (1 - projected.y) / 2 * canvas.clientHeight };
    }
    var page = window.flightReplayPage = {
        ready: false, firstFrameMs: null, duration: duration,
        seek: function (seconds) {
            setPlaying(false);
            clock = Math.min(Math.max(0, seconds), duration);
            draw(0, true);
        },
        camera: setMode,
        aircraftOnScreen: function () { return onScreen(state.position); },
        trackOnScreen: function () {
            // Points spread over the whole flight, clear of the ground and of the camera.
            var found = [], step = Math.max(1, Math.floor(count / 500));
            for (var i = 0; i < count; i += step) {
                var point = new THREE.Vector3(rows.e[i], rows.n[i], rows.u[i]), at = onScreen(point);
                if (at && camera.position.distanceTo(point) > 20 && !(rows.agl[i] < 10)) {
                    at.colour = head.modes[rows.mode[i]].colour;
                    found.push(at);
                }
            }
            return found.filter(function (point, k) { return k % Math.ceil(found.length / 50) === 0; });
        },
        groundOnScreen: function () {
            var found = [], caster = new THREE.Raycaster(), canvas = renderer.domElement;
            for (var y = 0.55; y < 1; y += 0.1)
                for (var x = 0.05; x < 1; x += 0.1) {
                    caster.setFromCamera(new THREE.Vector2(2 * x - 1, 1 - 2 * y), camera);
                    if (caster.intersectObjects(ground.children).length > 0 && found.length < 50)
                        found.push({ x: x * canvas.clientWidth, y: y * canvas.clientHeight });
                }
            return found;
        }
    };

    resize();
    Promise.all(pending).then(function () {
        // A link may name a moment and a camera: index.html#t=120&camera=orbit&paused
        var asked = /[#&]t=([0-9.]+)/.exec(location.hash), view = /[#&]camera=(chase|orbit|overview)/.exec(location.hash);
        clock = asked ? Math.min(parseFloat(asked[1]), duration) : 0;
        setPlaying(!/[#&]paused/.test(location.hash));
        state = stateAt(clock);
        setMode(view ? view[1] : 'chase');
        draw(0, true);
        document.getElementById('loading').remove();
        var last = performance.now();
        renderer.setAnimationLoop(function () {
            var now = performance.now(), dt = Math.min(0.1, (now - last) / 1000);
            last = now;
            // The browser asks for the next frame once it has shown the first.
            if (!page.ready) {
                page.firstFrameMs = now;
                page.ready = true;
            }
            if (playing) {
                clock += dt * speed;
                if (clock > duration) clock = 0;
            }
            draw(dt, false);
        });
    });
})();
